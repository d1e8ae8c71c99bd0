// Size and SHA-256 of a package file, read in a stream.
#ifndef VELMO_RELEASE_PACKAGE_DIGEST_H
#define VELMO_RELEASE_PACKAGE_DIGEST_H

#include <cstdint>
#include <string>

struct PackageDigest {
  int64_t size_bytes = 0;
  std::string sha256;  // lower-case hexadecimal
};

// The size of a regular file, without reading it. Throws ToolError.
int64_t PackageFileSize(const std::string& path);

// Reads the file once: the digest and the byte count that it covers, so a
// file that changes while it is read cannot pair one size with another
// content. Stops with a ToolError past max_bytes.
PackageDigest DigestPackage(const std::string& path, int64_t max_bytes);

#endif
