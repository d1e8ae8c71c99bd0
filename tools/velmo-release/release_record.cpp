#include "release_record.h"

#include <cstdio>
#include <regex>

#include "base64.h"

namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace

bool IsReleaseVersion(const std::string& text) {
  static const std::regex pattern("[0-9]{1,4}(\\.[0-9]{1,4}){2}");
  return std::regex_match(text, pattern);
}

bool IsReleaseOrigin(const std::string& text) {
  static const std::regex pattern("https://[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?(:[0-9]{1,5})?");
  return std::regex_match(text, pattern);
}

std::string DownloadUrlFor(const std::string& origin, const std::string& version) {
  return origin + "/api/releases/download/" + version + "?channel=beta";
}

std::string ClaimsJson(const Claims& claims) {
  return "{\"product\":" + Quoted(kProduct) +
         ",\"channel\":" + Quoted(kChannel) +
         ",\"version\":" + Quoted(claims.version) +
         ",\"downloadUrl\":" + Quoted(claims.download_url) +
         ",\"executableName\":" + Quoted(kExecutableName) +
         ",\"sha256\":" + Quoted(claims.sha256) +
         ",\"sizeBytes\":" + std::to_string(claims.size_bytes) +
         ",\"issuedAt\":" + std::to_string(claims.issued_at) +
         ",\"expiresAt\":" + std::to_string(claims.expires_at) + "}";
}

std::string ManifestJson(const Claims& claims, const std::string& payload,
                         const std::vector<unsigned char>& signature) {
  return "{\n"
         "  \"status\": " + Quoted(kReadyStatus) + ",\n"
         "  \"product\": " + Quoted(kProduct) + ",\n"
         "  \"channel\": " + Quoted(kChannel) + ",\n"
         "  \"version\": " + Quoted(claims.version) + ",\n"
         "  \"downloadUrl\": " + Quoted(claims.download_url) + ",\n"
         "  \"executableName\": " + Quoted(kExecutableName) + ",\n"
         "  \"sha256\": " + Quoted(claims.sha256) + ",\n"
         "  \"sizeBytes\": " + std::to_string(claims.size_bytes) + ",\n"
         "  \"signedRelease\": {\n"
         "    \"format\": " + Quoted(kSignatureFormat) + ",\n"
         "    \"keyId\": " + Quoted(kKeyId) + ",\n"
         "    \"payload\": " + Quoted(Base64Encode(reinterpret_cast<const unsigned char*>(payload.data()),
                                                 payload.size())) + ",\n"
         "    \"signature\": " + Quoted(Base64Encode(signature)) + "\n"
         "  }\n"
         "}\n";
}
