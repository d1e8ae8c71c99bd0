// The step markers that the installer script writes to its log, and the status
// text each one stands for. Pure (no windows.h).
#ifndef VTF_SESSION_LOG_MARKERS_H
#define VTF_SESSION_LOG_MARKERS_H
#include <optional>

#include "app/text_table.h"

// Searches one NUL-terminated chunk of log bytes for "download", "extract" and
// "install" (case-sensitive, anywhere, in that order) and returns the status
// text of the last of them found in that order, or nothing when none occurs.
// The order of the tests decides, not the order of the lines in the chunk;
// the search stops at the first NUL byte.
std::optional<TextKey> ScanLogMarkers(const char* chunk);

#endif
