#include <cstdio>

#include "cli_options.h"
#include "commands.h"
#include "release_key.h"
#include "tool_error.h"

int RunKeygen(int argc, char** argv) {
  CliOptions options(argc, argv, {"out"});
  if (!options.Positional().empty()) throw ToolError("unexpected argument " + options.Positional().front());
  std::string base = options.Require("out");
  GenerateKeyPair(base);
  std::printf("wrote %s.pem (private key, keep it secret) and %s.pub (public key for --release-key)\n",
              base.c_str(), base.c_str());
  return 0;
}
