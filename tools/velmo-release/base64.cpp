#include "base64.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsSkippedSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string Base64Encode(const unsigned char* data, size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  for (size_t i = 0; i < size; i += 3) {
    unsigned long group = static_cast<unsigned long>(data[i]) << 16;
    if (i + 1 < size) group |= static_cast<unsigned long>(data[i + 1]) << 8;
    if (i + 2 < size) group |= data[i + 2];
    out += kAlphabet[(group >> 18) & 63];
    out += kAlphabet[(group >> 12) & 63];
    out += i + 1 < size ? kAlphabet[(group >> 6) & 63] : '=';
    out += i + 2 < size ? kAlphabet[group & 63] : '=';
  }
  return out;
}

std::string Base64Encode(const std::vector<unsigned char>& data) {
  return Base64Encode(data.data(), data.size());
}

std::optional<std::vector<unsigned char>> Base64Decode(const std::string& text) {
  std::string symbols;
  symbols.reserve(text.size());
  for (char c : text) {
    if (!IsSkippedSpace(c)) symbols += c;
  }
  if (symbols.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  if (!symbols.empty() && symbols.back() == '=') padding = symbols[symbols.size() - 2] == '=' ? 2 : 1;

  std::vector<unsigned char> out;
  out.reserve(symbols.size() / 4 * 3);
  for (size_t i = 0; i < symbols.size(); i += 4) {
    bool last_group = i + 4 == symbols.size();
    unsigned long group = 0;
    for (size_t j = 0; j < 4; ++j) {
      char c = symbols[i + j];
      int value = 0;
      if (c == '=') {
        if (!last_group || j < 4 - padding) return std::nullopt;
      } else {
        value = SextetOf(c);
        if (value < 0) return std::nullopt;
      }
      group = (group << 6) | static_cast<unsigned long>(value);
    }
    out.push_back(static_cast<unsigned char>(group >> 16));
    if (!last_group || padding < 2) out.push_back(static_cast<unsigned char>(group >> 8));
    if (!last_group || padding < 1) out.push_back(static_cast<unsigned char>(group));
  }
  return out;
}
