// Standard Base64 (RFC 4648 alphabet, '=' padding).
#ifndef VELMO_RELEASE_BASE64_H
#define VELMO_RELEASE_BASE64_H

#include <optional>
#include <string>
#include <vector>

std::string Base64Encode(const unsigned char* data, size_t size);
std::string Base64Encode(const std::vector<unsigned char>& data);

// Decodes the way the installer script's decoder does: white space (space,
// tab, CR, LF) is skipped, padding is required, and anything else outside the
// alphabet, a wrong length or a misplaced '=' makes the text invalid.
std::optional<std::vector<unsigned char>> Base64Decode(const std::string& text);

#endif
