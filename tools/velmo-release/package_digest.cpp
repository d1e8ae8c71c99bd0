#include "package_digest.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <openssl/evp.h>

#include "tool_error.h"

namespace {

int OpenPackage(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ToolError("cannot read package " + path + ": " + std::strerror(errno));
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    throw ToolError("cannot read package " + path + ": not a regular file");
  }
  return fd;
}

}  // namespace

int64_t PackageFileSize(const std::string& path) {
  int fd = OpenPackage(path);
  struct stat st;
  fstat(fd, &st);
  close(fd);
  return static_cast<int64_t>(st.st_size);
}

PackageDigest DigestPackage(const std::string& path, int64_t max_bytes) {
  int fd = OpenPackage(path);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
    close(fd);
    throw ToolError("cannot start SHA-256: " + TakeOpenSslError());
  }
  PackageDigest digest;
  std::vector<unsigned char> buffer(1 << 20);
  for (;;) {
    ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      close(fd);
      throw ToolError("cannot read package " + path + ": " + std::strerror(error));
    }
    if (n == 0) break;
    digest.size_bytes += n;
    if (digest.size_bytes > max_bytes) {
      close(fd);
      throw ToolError("package " + path + " is larger than " + std::to_string(max_bytes) + " bytes");
    }
    EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<size_t>(n));
  }
  close(fd);
  unsigned char hash[32];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(ctx.get(), hash, &length) != 1 || length != sizeof hash) {
    throw ToolError("SHA-256 failed: " + TakeOpenSslError());
  }
  static const char kHex[] = "0123456789abcdef";
  for (unsigned char b : hash) {
    digest.sha256 += kHex[b >> 4];
    digest.sha256 += kHex[b & 15];
  }
  return digest;
}
