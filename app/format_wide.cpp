#include "app/format_wide.h"
#include <cstdarg>
#include <cwchar>
int FormatWide(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...) {
  va_list args; va_start(args, format);
  int n = std::vswprintf(buffer, capacity, format, args);
  va_end(args);
  return n;
}
