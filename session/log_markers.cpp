#include "session/log_markers.h"

#include <cstring>

namespace {

struct LogMarker {
  const char* bytes;
  TextKey status;
};

// In the order of the script's steps; a later entry wins when several occur.
constexpr LogMarker kLogMarkers[] = {
    {"download", TXT_STATUS_DOWNLOADING},
    {"extract", TXT_STATUS_EXTRACTING},
    {"install", TXT_STATUS_INSTALLING},
};

}  // namespace

std::optional<TextKey> ScanLogMarkers(const char* chunk) {
  std::optional<TextKey> status;
  for (const LogMarker& marker : kLogMarkers) {
    if (std::strstr(chunk, marker.bytes) != nullptr) status = marker.status;
  }
  return status;
}
