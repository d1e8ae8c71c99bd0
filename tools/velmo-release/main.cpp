// velmo-release: makes release keys, signs release manifests and checks them
// before they are published.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "commands.h"
#include "tool_error.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  velmo-release keygen --out PATH\n"
    "      new 4096-bit RSA key pair: PATH.pem (private, owner-only) and PATH.pub\n"
    "      (public modulus, the file an installer build pins with --release-key)\n"
    "  velmo-release sign --key PATH.pem --package FILE --version X.Y.Z --origin https://HOST\n"
    "                     [--valid-days N | --valid-for SECONDS] --out MANIFEST.json\n"
    "      signs the package's release record (valid 30 days unless told, at most 90)\n"
    "  velmo-release verify --key PATH.pub --origin https://HOST [--package FILE]\n"
    "                       [--minimum-version X.Y.Z] [--at UNIX-SECONDS] MANIFEST.json\n"
    "      checks a manifest (and the package) with the installer's rules, by the\n"
    "      clock or as of the time --at gives\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  std::string command = argv[1];
  try {
    if (command == "keygen") return RunKeygen(argc - 2, argv + 2);
    if (command == "sign") return RunSign(argc - 2, argv + 2);
    if (command == "verify") return RunVerify(argc - 2, argv + 2);
    std::fprintf(stderr, "velmo-release: unknown command '%s'\n%s", OneLine(command).c_str(), kUsage);
    return 2;
  } catch (const ToolError& error) {
    std::fprintf(stderr, "velmo-release %s: %s\n", command.c_str(), OneLine(error.what()).c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "velmo-release %s: unexpected failure: %s\n", command.c_str(), OneLine(error.what()).c_str());
  }
  return 1;
}
