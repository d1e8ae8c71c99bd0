#include "app/format_wide.h"

#include <cstdarg>
#include <cwchar>

int FormatWide(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...) {
  if (buffer == nullptr || capacity == 0) return -1;
  if (format == nullptr) {
    buffer[0] = L'\0';
    return -1;
  }
  va_list args;
  va_start(args, format);
  // The runtimes disagree on what a text that does not fit gives back: glibc
  // returns -1, a C99 formatter the length it needed, the Microsoft one the
  // capacity itself without a terminator. Only 0 <= n < capacity means that
  // the whole text and its terminator are in the buffer.
  int written = std::vswprintf(buffer, capacity, format, args);
  va_end(args);
  if (written < 0 || static_cast<std::size_t>(written) >= capacity) {
    buffer[0] = L'\0';
    return -1;
  }
  buffer[written] = L'\0';
  return written;
}
