// A small, strict JSON reader for the release manifest and its claims.
//
// It keeps what the installer's checks need to see: whether a number is an
// integer that fits 64 bits (anything else is kept as a non-integer number),
// and the exact text of strings. Names are looked up without regard to case,
// as the installer's property access does, so two names in one object that
// differ only in case are refused as ambiguous.
#ifndef VELMO_RELEASE_JSON_READER_H
#define VELMO_RELEASE_JSON_READER_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct JsonValue {
  enum class Kind { Null, Boolean, Integer, OtherNumber, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  int64_t integer = 0;
  std::string text;  // a string's value (UTF-8), or a number's source text
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;

  bool IsString() const { return kind == Kind::String; }
  bool IsInteger() const { return kind == Kind::Integer; }
  bool IsNull() const { return kind == Kind::Null; }
  // The member of that name (ASCII case-insensitive), or nullptr when this is
  // not an object or has no such member.
  const JsonValue* Find(const std::string& name) const;
};

// Parses one JSON text given as bytes that must be strict UTF-8; what names
// the text in error messages ("manifest", "payload"). Throws ToolError.
JsonValue ParseJson(const std::string& bytes, const std::string& what);

// True when bytes are well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool IsStrictUtf8(const std::string& bytes);

#endif
