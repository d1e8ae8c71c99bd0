// The installer's acceptance rules for a release manifest, in the
// installer's order and with its messages, for a check before publishing.
#ifndef VELMO_RELEASE_RELEASE_CHECK_H
#define VELMO_RELEASE_RELEASE_CHECK_H

#include <cstdint>
#include <string>

#include <openssl/evp.h>

#include "json_reader.h"
#include "release_record.h"

struct ReleaseCheckContext {
  EVP_PKEY* key = nullptr;      // the public key the installer pins
  std::string origin;           // the installer's release server origin
  std::string minimum_version;  // X.Y.Z
  int64_t now = 0;              // Unix seconds
};

struct ReleaseCheckResult {
  std::string failure;  // the first failing rule's message; empty when accepted
  Claims claims;        // the signed claims, complete only when accepted
};

// Runs every rule in order and stops at the first failure. Text that is not
// Base64, UTF-8 or JSON where those are required throws ToolError, where the
// installer fails with its platform's own error.
ReleaseCheckResult CheckRelease(const JsonValue& manifest, const ReleaseCheckContext& context);

#endif
