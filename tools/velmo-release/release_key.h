// The release key pair: a 4096-bit RSA key with exponent 65537. The private
// half is a PEM file; the public half is the file the installer build pins,
// the modulus as 684 Base64 characters on one line.
#ifndef VELMO_RELEASE_RELEASE_KEY_H
#define VELMO_RELEASE_RELEASE_KEY_H

#include <memory>
#include <string>

#include <openssl/evp.h>

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;

constexpr int kReleaseKeyBits = 4096;
constexpr size_t kModulusBytes = kReleaseKeyBits / 8;

// Generates a key pair and writes base + ".pem" (owner-only) and base +
// ".pub". Neither file may exist already; on failure neither is left behind.
void GenerateKeyPair(const std::string& base);

// Loads an unencrypted PEM private key and insists on 4096-bit RSA, e 65537.
PkeyPtr LoadPrivateKey(const std::string& path);

// Loads a public key file (modulus in Base64) as an RSA key with e 65537.
PkeyPtr LoadPublicKey(const std::string& path);

// The public key file's text for a key: Base64 of the 512-byte modulus, LF.
std::string PublicKeyFileText(EVP_PKEY* key);

#endif
