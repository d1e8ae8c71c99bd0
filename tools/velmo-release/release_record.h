// The release record: the fixed names of a release of the installer's
// product, the signed claims, and the manifest that carries them.
#ifndef VELMO_RELEASE_RELEASE_RECORD_H
#define VELMO_RELEASE_RELEASE_RECORD_H

#include <cstdint>
#include <string>
#include <vector>

constexpr char kProduct[] = "VELMO_TALLOWFIN_AI";
constexpr char kChannel[] = "beta";
constexpr char kExecutableName[] = "VELMO_Tallowfin.exe";
constexpr char kSignatureFormat[] = "velmo-release-signature-v1";
constexpr char kKeyId[] = "velmo-release-2026-09";
constexpr char kReadyStatus[] = "ready";
constexpr int64_t kMinPackageBytes = 1;
constexpr int64_t kMaxPackageBytes = 2000000000;
constexpr int64_t kMaxValiditySeconds = 7776000;  // 90 days

struct Claims {
  std::string version;
  std::string download_url;
  std::string sha256;  // lower-case hexadecimal
  int64_t size_bytes = 0;
  int64_t issued_at = 0;
  int64_t expires_at = 0;
};

// Three groups of 1 to 4 ASCII digits separated by dots, nothing else.
bool IsReleaseVersion(const std::string& text);
// "https://" and a host name, optionally ":port" (loopback test servers).
bool IsReleaseOrigin(const std::string& text);
// The one download address a release of that version may have.
std::string DownloadUrlFor(const std::string& origin, const std::string& version);

// The claims as compact JSON text (UTF-8): the bytes that get signed.
std::string ClaimsJson(const Claims& claims);

// The manifest to publish: status "ready", the unsigned fields repeating the
// claims, and the signed release envelope around payload and signature.
std::string ManifestJson(const Claims& claims, const std::string& payload,
                         const std::vector<unsigned char>& signature);

#endif
