#include "release_check.h"

#include <cstdio>
#include <regex>

#include "base64.h"
#include "release_signature.h"
#include "tool_error.h"

namespace {

// The length the installer measures: UTF-16 code units of valid UTF-8 text.
size_t Utf16Length(const std::string& utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++units;  // a code point starts here
    if (c >= 0xF0) ++units;           // beyond U+FFFF: a surrogate pair
  }
  return units;
}

bool IsStringEqual(const JsonValue* value, const std::string& expected) {
  return value != nullptr && value->IsString() && value->text == expected;
}

bool IsLowerHexDigest(const std::string& text) {
  static const std::regex pattern("[a-f0-9]{64}");
  return std::regex_match(text, pattern);
}

// Three dot-separated groups of at most 4 digits always fit in an int.
bool VersionBelow(const std::string& version, const std::string& minimum) {
  int a[3] = {0, 0, 0}, b[3] = {0, 0, 0};
  std::sscanf(version.c_str(), "%d.%d.%d", &a[0], &a[1], &a[2]);
  std::sscanf(minimum.c_str(), "%d.%d.%d", &b[0], &b[1], &b[2]);
  for (int i = 0; i < 3; ++i) {
    if (a[i] != b[i]) return a[i] < b[i];
  }
  return false;
}

std::vector<unsigned char> DecodeBase64Field(const std::string& text, const char* name) {
  std::optional<std::vector<unsigned char>> bytes = Base64Decode(text);
  if (!bytes) throw ToolError(std::string("the envelope's ") + name + " is not valid Base64");
  return *bytes;
}

ReleaseCheckResult Refuse(const char* message) { return ReleaseCheckResult{message, Claims{}}; }

}  // namespace

ReleaseCheckResult CheckRelease(const JsonValue& manifest, const ReleaseCheckContext& context) {
  const JsonValue* envelope = manifest.Find("signedRelease");
  if (envelope == nullptr || !IsStringEqual(envelope->Find("format"), kSignatureFormat) ||
      !IsStringEqual(envelope->Find("keyId"), kKeyId)) {
    return Refuse("Trusted release signature missing");
  }

  const JsonValue* payload_text = envelope->Find("payload");
  const JsonValue* signature_text = envelope->Find("signature");
  if (payload_text == nullptr || !payload_text->IsString() || Utf16Length(payload_text->text) > 24000 ||
      signature_text == nullptr || !signature_text->IsString() || Utf16Length(signature_text->text) > 1024) {
    return Refuse("Invalid release signature encoding");
  }

  std::vector<unsigned char> payload_bytes = DecodeBase64Field(payload_text->text, "payload");
  std::vector<unsigned char> signature = DecodeBase64Field(signature_text->text, "signature");
  if (signature.size() != kSignatureBytes) return Refuse("Invalid release signature length");

  const std::string payload(payload_bytes.begin(), payload_bytes.end());
  if (!VerifyPayload(context.key, payload, signature)) return Refuse("Release signature verification failed");

  const JsonValue claims_json = ParseJson(payload, "the signed payload");
  const JsonValue& c = claims_json;

  if (!IsStringEqual(c.Find("product"), kProduct) || !IsStringEqual(c.Find("channel"), kChannel) ||
      !IsStringEqual(manifest.Find("status"), kReadyStatus)) {
    return Refuse("Wrong release product or channel");
  }

  const JsonValue* version = c.Find("version");
  if (version == nullptr || !version->IsString() || !IsReleaseVersion(version->text) ||
      VersionBelow(version->text, context.minimum_version)) {
    return Refuse("Release downgrade refused");
  }

  const JsonValue* sha256 = c.Find("sha256");
  if (!IsStringEqual(c.Find("downloadUrl"), DownloadUrlFor(context.origin, version->text)) ||
      !IsStringEqual(c.Find("executableName"), kExecutableName) || sha256 == nullptr || !sha256->IsString() ||
      !IsLowerHexDigest(sha256->text)) {
    return Refuse("Invalid signed release target");
  }

  const JsonValue* size = c.Find("sizeBytes");
  const JsonValue* issued = c.Find("issuedAt");
  const JsonValue* expires = c.Find("expiresAt");
  for (const JsonValue* number : {size, issued, expires}) {
    if (number == nullptr || !number->IsInteger()) return Refuse("Invalid signed numeric field");
  }

  if (size->integer < kMinPackageBytes || size->integer > kMaxPackageBytes) {
    return Refuse("Invalid signed package size");
  }

  // 128-bit arithmetic: a far-past issuedAt must not wrap the difference.
  const __int128 now = context.now, issued_at = issued->integer, expires_at = expires->integer;
  if (issued_at > now + 300 || expires_at <= now || expires_at <= issued_at ||
      expires_at - issued_at > kMaxValiditySeconds) {
    return Refuse("Release signature expired or PC clock incorrect");
  }

  ReleaseCheckResult accepted;
  Claims& claims = accepted.claims;
  claims.version = version->text;
  claims.download_url = c.Find("downloadUrl")->text;
  claims.sha256 = sha256->text;
  claims.size_bytes = size->integer;
  claims.issued_at = issued->integer;
  claims.expires_at = expires->integer;

  const std::pair<const char*, std::string> repeated[] = {
      {"product", kProduct},          {"channel", kChannel},       {"version", claims.version},
      {"downloadUrl", claims.download_url}, {"sha256", claims.sha256}, {"executableName", kExecutableName}};
  for (const auto& field : repeated) {
    if (!IsStringEqual(manifest.Find(field.first), field.second)) {
      return Refuse("Release metadata differs from signed payload");
    }
  }

  const JsonValue* manifest_size = manifest.Find("sizeBytes");
  if (manifest_size == nullptr || !manifest_size->IsInteger() || manifest_size->integer != claims.size_bytes) {
    return Refuse("Release size differs from signed payload");
  }

  const JsonValue* actual_version = manifest.Find("actualVersion");
  if (actual_version != nullptr && !actual_version->IsNull() && !IsStringEqual(actual_version, claims.version)) {
    return Refuse("Release actual version differs from signed payload");
  }
  return accepted;
}
