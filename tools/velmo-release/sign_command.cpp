#include <cstdio>
#include <ctime>

#include "cli_options.h"
#include "commands.h"
#include "file_io.h"
#include "package_digest.h"
#include "release_key.h"
#include "release_record.h"
#include "release_signature.h"
#include "tool_error.h"

namespace {

constexpr int64_t kDefaultValiditySeconds = 30 * 86400;

// --valid-days or --valid-for (seconds), at most one of them, at most 90 days.
int64_t ValiditySeconds(const CliOptions& options) {
  std::optional<std::string> days = options.Get("valid-days");
  std::optional<std::string> seconds = options.Get("valid-for");
  if (days && seconds) throw ToolError("give --valid-days or --valid-for, not both");
  if (!days && !seconds) return kDefaultValiditySeconds;
  const std::string name = days ? "valid-days" : "valid-for";
  const std::string& text = days ? *days : *seconds;
  const int64_t unit = days ? 86400 : 1;
  int64_t value = ParseInteger(text, 1, 999999999999, name);
  if (value * unit > kMaxValiditySeconds) {
    throw ToolError("validity of --" + name + " " + text + " is over the limit of 90 days (7776000 seconds)");
  }
  return value * unit;
}

std::string UtcText(int64_t unix_seconds) {
  std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

}  // namespace

int RunSign(int argc, char** argv) {
  CliOptions options(argc, argv, {"key", "package", "version", "origin", "valid-days", "valid-for", "out"});
  if (!options.Positional().empty()) throw ToolError("unexpected argument " + options.Positional().front());
  const std::string version = options.Require("version");
  const std::string origin = options.Require("origin");
  const std::string out = options.Require("out");
  if (!IsReleaseVersion(version)) {
    throw ToolError("version '" + version + "' is not three groups of 1 to 4 digits (X.Y.Z)");
  }
  if (!IsReleaseOrigin(origin)) throw ToolError("origin '" + origin + "' is not https:// and a host name");
  const int64_t validity = ValiditySeconds(options);

  PkeyPtr key = LoadPrivateKey(options.Require("key"));

  const std::string package = options.Require("package");
  // Checked before reading, so that a huge file is refused at once.
  if (PackageFileSize(package) > kMaxPackageBytes) {
    throw ToolError("package " + package + " is larger than 2000000000 bytes");
  }
  PackageDigest digest = DigestPackage(package, kMaxPackageBytes);
  if (digest.size_bytes < kMinPackageBytes) throw ToolError("package " + package + " is empty (0 bytes)");

  Claims claims;
  claims.version = version;
  claims.download_url = DownloadUrlFor(origin, version);
  claims.sha256 = digest.sha256;
  claims.size_bytes = digest.size_bytes;
  claims.issued_at = static_cast<int64_t>(std::time(nullptr));
  claims.expires_at = claims.issued_at + validity;

  const std::string payload = ClaimsJson(claims);
  const std::vector<unsigned char> signature = SignPayload(key.get(), payload);
  ReplaceFile(out, ManifestJson(claims, payload, signature), 0644);

  std::printf("signed %s (%lld bytes, sha256 %s), valid until %s; wrote %s\n", version.c_str(),
              static_cast<long long>(claims.size_bytes), claims.sha256.c_str(), UtcText(claims.expires_at).c_str(),
              out.c_str());
  return 0;
}
