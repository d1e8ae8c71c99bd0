#include "json_reader.h"

#include <cerrno>
#include <cstdlib>

#include "tool_error.h"

namespace {

constexpr int kMaxDepth = 64;

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

void AppendUtf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

class Parser {
 public:
  Parser(const std::string& text, const std::string& what) : s_(text), what_(what) {}

  JsonValue ParseDocument() {
    JsonValue value = ParseValue(0);
    SkipSpace();
    if (pos_ != s_.size()) Fail("unexpected text after the JSON value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& why) const {
    throw ToolError("invalid JSON in " + what_ + " at byte " + std::to_string(pos_) + ": " + why);
  }

  void SkipSpace() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r')) ++pos_;
  }

  bool Consume(char c) {
    SkipSpace();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  void Expect(char c) {
    if (!Consume(c)) Fail(std::string("expected '") + c + "'");
  }

  bool ConsumeWord(const char* word) {
    std::string w(word);
    if (s_.compare(pos_, w.size(), w) != 0) return false;
    pos_ += w.size();
    return true;
  }

  JsonValue ParseValue(int depth) {
    if (depth > kMaxDepth) Fail("nested too deeply");
    SkipSpace();
    if (pos_ >= s_.size()) Fail("unexpected end of text");
    JsonValue value;
    char c = s_[pos_];
    if (c == '{') {
      ParseObject(value, depth);
    } else if (c == '[') {
      ParseArray(value, depth);
    } else if (c == '"') {
      value.kind = JsonValue::Kind::String;
      value.text = ParseString();
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      ParseNumber(value);
    } else if (ConsumeWord("true")) {
      value.kind = JsonValue::Kind::Boolean;
      value.boolean = true;
    } else if (ConsumeWord("false")) {
      value.kind = JsonValue::Kind::Boolean;
    } else if (ConsumeWord("null")) {
      value.kind = JsonValue::Kind::Null;
    } else {
      Fail("unexpected character");
    }
    return value;
  }

  void ParseObject(JsonValue& value, int depth) {
    value.kind = JsonValue::Kind::Object;
    ++pos_;
    if (Consume('}')) return;
    do {
      SkipSpace();
      if (pos_ >= s_.size() || s_[pos_] != '"') Fail("expected a member name");
      std::string name = ParseString();
      for (const auto& member : value.members) {
        if (SameNameIgnoringCase(member.first, name)) Fail("member name '" + name + "' appears twice");
      }
      Expect(':');
      value.members.emplace_back(name, ParseValue(depth + 1));
    } while (Consume(','));
    Expect('}');
  }

  void ParseArray(JsonValue& value, int depth) {
    value.kind = JsonValue::Kind::Array;
    ++pos_;
    if (Consume(']')) return;
    do {
      value.items.push_back(ParseValue(depth + 1));
    } while (Consume(','));
    Expect(']');
  }

  unsigned long ParseHex4() {
    if (pos_ + 4 > s_.size()) Fail("short \\u escape");
    unsigned long v = 0;
    for (int i = 0; i < 4; ++i) {
      char c = s_[pos_++];
      v <<= 4;
      if (c >= '0' && c <= '9') v |= static_cast<unsigned long>(c - '0');
      else if (c >= 'a' && c <= 'f') v |= static_cast<unsigned long>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') v |= static_cast<unsigned long>(c - 'A' + 10);
      else Fail("bad \\u escape");
    }
    return v;
  }

  std::string ParseString() {
    ++pos_;  // opening quote
    std::string out;
    for (;;) {
      if (pos_ >= s_.size()) Fail("unterminated string");
      unsigned char c = static_cast<unsigned char>(s_[pos_++]);
      if (c == '"') return out;
      if (c < 0x20) Fail("control character in string");
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (pos_ >= s_.size()) Fail("unterminated string");
      char e = s_[pos_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned long cp = ParseHex4();
          if (cp >= 0xDC00 && cp <= 0xDFFF) Fail("lone low surrogate");
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (!ConsumeWord("\\u")) Fail("lone high surrogate");
            unsigned long low = ParseHex4();
            if (low < 0xDC00 || low > 0xDFFF) Fail("lone high surrogate");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, cp);
          break;
        }
        default: Fail("bad escape");
      }
    }
  }

  void ParseNumber(JsonValue& value) {
    size_t start = pos_;
    bool integral = true;
    if (s_[pos_] == '-') ++pos_;
    if (pos_ < s_.size() && s_[pos_] == '0') {
      ++pos_;
    } else if (pos_ < s_.size() && s_[pos_] >= '1' && s_[pos_] <= '9') {
      while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
    } else {
      Fail("bad number");
    }
    if (pos_ < s_.size() && s_[pos_] == '.') {
      integral = false;
      ++pos_;
      if (pos_ >= s_.size() || s_[pos_] < '0' || s_[pos_] > '9') Fail("bad number");
      while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      integral = false;
      ++pos_;
      if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
      if (pos_ >= s_.size() || s_[pos_] < '0' || s_[pos_] > '9') Fail("bad number");
      while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
    }
    value.text = s_.substr(start, pos_ - start);
    value.kind = JsonValue::Kind::OtherNumber;
    if (integral) {
      errno = 0;
      long long v = std::strtoll(value.text.c_str(), nullptr, 10);
      if (errno != ERANGE) {
        value.kind = JsonValue::Kind::Integer;
        value.integer = v;
      }
    }
  }

  const std::string& s_;
  const std::string what_;
  size_t pos_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(const std::string& name) const {
  if (kind != Kind::Object) return nullptr;
  for (const auto& member : members) {
    if (SameNameIgnoringCase(member.first, name)) return &member.second;
  }
  return nullptr;
}

bool IsStrictUtf8(const std::string& bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    size_t length;
    unsigned long cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      unsigned char d = static_cast<unsigned char>(bytes[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

JsonValue ParseJson(const std::string& bytes, const std::string& what) {
  if (!IsStrictUtf8(bytes)) throw ToolError(what + " is not valid UTF-8");
  return Parser(bytes, what).ParseDocument();
}
