#ifndef VTF_APP_FORMAT_WIDE_H
#define VTF_APP_FORMAT_WIDE_H
#include <cstddef>
int FormatWide(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...);
#endif
