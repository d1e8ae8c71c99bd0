// The bounded formatter that builds every path and the command line.
#ifndef VTF_APP_FORMAT_WIDE_H
#define VTF_APP_FORMAT_WIDE_H
#include <cstddef>

// Formats into `buffer` of `capacity` characters (the terminator included).
// Returns the number of characters written, terminator not counted, when the
// whole text and its terminator fit. Otherwise, or when formatting fails, it
// returns -1 and leaves an empty string in the buffer (when capacity > 0):
// a text that does not fit is a failure, never a silent truncation.
// Callers use only %ls (wide string) and %d (int).
int FormatWide(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...);

#endif
