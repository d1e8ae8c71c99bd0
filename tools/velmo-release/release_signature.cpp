#include "release_signature.h"

#include <memory>

#include <openssl/rsa.h>

#include "tool_error.h"

namespace {

std::string SignedMessage(const std::string& payload) {
  static const char kPrefix[] = "VELMO-TALLOWFIN-UPDATE-V1";
  std::string message(kPrefix, sizeof kPrefix - 1);
  message += '\0';
  return message + payload;
}

using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

// Sets up ctx for signing or verifying with the release padding.
bool InitPss(EVP_MD_CTX* ctx, EVP_PKEY* key, bool sign) {
  EVP_PKEY_CTX* pctx = nullptr;
  int ok = sign ? EVP_DigestSignInit(ctx, &pctx, EVP_sha256(), nullptr, key)
                : EVP_DigestVerifyInit(ctx, &pctx, EVP_sha256(), nullptr, key);
  return ok == 1 && EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PSS_PADDING) == 1 &&
         EVP_PKEY_CTX_set_rsa_mgf1_md(pctx, EVP_sha256()) == 1 &&
         EVP_PKEY_CTX_set_rsa_pss_saltlen(pctx, 32) == 1;
}

}  // namespace

std::vector<unsigned char> SignPayload(EVP_PKEY* private_key, const std::string& payload) {
  std::string message = SignedMessage(payload);
  MdCtxPtr ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  std::vector<unsigned char> signature(kSignatureBytes);
  size_t length = signature.size();
  if (!ctx || !InitPss(ctx.get(), private_key, true) ||
      EVP_DigestSign(ctx.get(), signature.data(), &length,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1 ||
      length != kSignatureBytes) {
    throw ToolError("signing failed: " + TakeOpenSslError());
  }
  return signature;
}

bool VerifyPayload(EVP_PKEY* public_key, const std::string& payload, const std::vector<unsigned char>& signature) {
  std::string message = SignedMessage(payload);
  MdCtxPtr ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!ctx || !InitPss(ctx.get(), public_key, false)) {
    throw ToolError("cannot set up verification: " + TakeOpenSslError());
  }
  int result = EVP_DigestVerify(ctx.get(), signature.data(), signature.size(),
                                reinterpret_cast<const unsigned char*>(message.data()), message.size());
  TakeOpenSslError();  // a refused signature leaves its reason queued
  return result == 1;
}
