#include "release_key.h"

#include <unistd.h>
#include <vector>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "base64.h"
#include "file_io.h"
#include "tool_error.h"

namespace {

constexpr unsigned long kPublicExponent = 65537;

struct BnFree {
  void operator()(BIGNUM* n) const { BN_free(n); }
};
using BnPtr = std::unique_ptr<BIGNUM, BnFree>;

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioFree>;

BnPtr GetBignum(EVP_PKEY* key, const char* name) {
  BIGNUM* n = nullptr;
  if (EVP_PKEY_get_bn_param(key, name, &n) != 1) return nullptr;
  return BnPtr(n);
}

// The rule shared by every key the tool accepts: what the installer can pin.
bool IsReleaseKeyShape(EVP_PKEY* key) {
  if (EVP_PKEY_is_a(key, "RSA") != 1 || EVP_PKEY_get_bits(key) != kReleaseKeyBits) return false;
  BnPtr e = GetBignum(key, OSSL_PKEY_PARAM_RSA_E);
  return e && BN_is_word(e.get(), kPublicExponent);
}

// Refuses to prompt for a pass phrase: the tool runs unattended.
int NoPassphrase(char*, int, int, void*) { return -1; }

}  // namespace

std::string PublicKeyFileText(EVP_PKEY* key) {
  BnPtr n = GetBignum(key, OSSL_PKEY_PARAM_RSA_N);
  std::vector<unsigned char> modulus(kModulusBytes);
  if (!n || BN_bn2binpad(n.get(), modulus.data(), static_cast<int>(modulus.size())) < 0) {
    throw ToolError("cannot read the key's modulus: " + TakeOpenSslError());
  }
  return Base64Encode(modulus) + "\n";
}

void GenerateKeyPair(const std::string& base) {
  const std::string private_path = base + ".pem";
  const std::string public_path = base + ".pub";
  // Checked before the slow generation; CreateNewFile checks again atomically.
  for (const std::string& path : {private_path, public_path}) {
    if (PathExists(path)) throw ToolError("refusing to overwrite existing file " + path);
  }

  PkeyPtr key(EVP_RSA_gen(kReleaseKeyBits));
  if (!key) throw ToolError("RSA key generation failed: " + TakeOpenSslError());

  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    throw ToolError("cannot encode the private key: " + TakeOpenSslError());
  }
  char* pem = nullptr;
  long pem_size = BIO_get_mem_data(bio.get(), &pem);
  std::string private_text(pem, static_cast<size_t>(pem_size));
  std::string public_text = PublicKeyFileText(key.get());

  CreateNewFile(private_path, private_text, 0600);
  OPENSSL_cleanse(private_text.data(), private_text.size());
  try {
    CreateNewFile(public_path, public_text, 0644);
  } catch (...) {
    unlink(private_path.c_str());
    throw;
  }
}

PkeyPtr LoadPrivateKey(const std::string& path) {
  std::string text = ReadWholeFile(path, "private key", 1 << 20);
  BioPtr bio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
  PkeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassphrase, nullptr) : nullptr);
  OPENSSL_cleanse(text.data(), text.size());
  if (!key) throw ToolError("cannot read private key " + path + ": not an unencrypted PEM private key");
  ERR_clear_error();
  if (!IsReleaseKeyShape(key.get())) {
    throw ToolError("private key " + path + " is not a 4096-bit RSA key with exponent 65537");
  }
  return key;
}

PkeyPtr LoadPublicKey(const std::string& path) {
  std::string text = ReadWholeFile(path, "public key", 4096);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  std::optional<std::vector<unsigned char>> modulus;
  if (text.size() == 684 && text.find_first_of(" \t\r\n") == std::string::npos) modulus = Base64Decode(text);
  if (!modulus || modulus->size() != kModulusBytes || (*modulus)[0] < 0x80) {
    throw ToolError("public key " + path + " is not a 4096-bit RSA modulus as 684 Base64 characters");
  }

  BnPtr n(BN_bin2bn(modulus->data(), static_cast<int>(modulus->size()), nullptr));
  BnPtr e(BN_new());
  std::unique_ptr<OSSL_PARAM_BLD, decltype(&OSSL_PARAM_BLD_free)> build(OSSL_PARAM_BLD_new(), OSSL_PARAM_BLD_free);
  if (!n || !e || !build || BN_set_word(e.get(), kPublicExponent) != 1 ||
      OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
      OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1) {
    throw ToolError("cannot build the public key: " + TakeOpenSslError());
  }
  std::unique_ptr<OSSL_PARAM, decltype(&OSSL_PARAM_free)> params(OSSL_PARAM_BLD_to_param(build.get()),
                                                                 OSSL_PARAM_free);
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr),
                                                                  EVP_PKEY_CTX_free);
  EVP_PKEY* key = nullptr;
  if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
      EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
    throw ToolError("cannot build the public key: " + TakeOpenSslError());
  }
  return PkeyPtr(key);
}
