#include <cstdio>
#include <ctime>

#include "cli_options.h"
#include "commands.h"
#include "file_io.h"
#include "json_reader.h"
#include "package_digest.h"
#include "release_check.h"
#include "release_key.h"
#include "tool_error.h"

namespace {

// The installer refuses a manifest response of more than this many bytes.
constexpr off_t kMaxManifestBytes = 128000;

// Returns the first package rule that fails, or "" when size and digest match
// the claims. The digest is computed only once the size matched.
std::string CheckPackage(const std::string& path, const Claims& claims) {
  if (PackageFileSize(path) != claims.size_bytes) return "Package size mismatch";
  if (DigestPackage(path, claims.size_bytes).sha256 != claims.sha256) return "Package SHA-256 mismatch";
  return "";
}

}  // namespace

int RunVerify(int argc, char** argv) {
  CliOptions options(argc, argv, {"key", "origin", "package", "minimum-version", "at"});
  if (options.Positional().size() != 1) throw ToolError("give exactly one manifest file to verify");
  const std::string manifest_path = options.Positional().front();

  ReleaseCheckContext context;
  context.origin = options.Require("origin");
  if (!IsReleaseOrigin(context.origin)) throw ToolError("origin '" + context.origin + "' is not https:// and a host name");
  context.minimum_version = options.Get("minimum-version").value_or("0.19.21");
  if (!IsReleaseVersion(context.minimum_version)) {
    throw ToolError("minimum version '" + context.minimum_version + "' is not three groups of 1 to 4 digits");
  }
  std::optional<std::string> at = options.Get("at");
  context.now = at ? ParseInteger(*at, 0, 253402300799, "at") : static_cast<int64_t>(std::time(nullptr));
  PkeyPtr key = LoadPublicKey(options.Require("key"));
  context.key = key.get();

  const JsonValue manifest = ParseJson(ReadWholeFile(manifest_path, "manifest", kMaxManifestBytes), "the manifest");
  ReleaseCheckResult result = CheckRelease(manifest, context);
  std::optional<std::string> package = options.Get("package");
  if (result.failure.empty() && package) result.failure = CheckPackage(*package, result.claims);
  if (!result.failure.empty()) {
    std::fprintf(stderr, "velmo-release verify: %s refused: %s\n", OneLine(manifest_path).c_str(), result.failure.c_str());
    return 1;
  }

  const int64_t left = result.claims.expires_at - context.now;
  std::printf("OK: %s release %s (%lld bytes) is signed by this key and valid for %lld more seconds%s\n",
              OneLine(manifest_path).c_str(), result.claims.version.c_str(), static_cast<long long>(result.claims.size_bytes),
              static_cast<long long>(left), package ? "; the package matches" : "");
  return 0;
}
