// Release signatures: RSASSA-PSS with SHA-256, MGF1-SHA-256 and a 32-byte
// salt, over "VELMO-TALLOWFIN-UPDATE-V1", one NUL byte, then the payload.
#ifndef VELMO_RELEASE_RELEASE_SIGNATURE_H
#define VELMO_RELEASE_RELEASE_SIGNATURE_H

#include <string>
#include <vector>

#include <openssl/evp.h>

constexpr size_t kSignatureBytes = 512;

std::vector<unsigned char> SignPayload(EVP_PKEY* private_key, const std::string& payload);

// True only for a valid signature; a malformed one is simply not valid.
bool VerifyPayload(EVP_PKEY* public_key, const std::string& payload, const std::vector<unsigned char>& signature);

#endif
