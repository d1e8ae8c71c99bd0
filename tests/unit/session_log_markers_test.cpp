// The marker scan over chunks of the installer script's log.
#include "session/log_markers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

namespace {

struct MarkerCase {
  const char* name;
  std::string chunk;  // may hold NUL bytes; the scan sees it up to the first
  std::optional<TextKey> status;
};

TEST(LogMarkers, Table) {
  const std::optional<TextKey> none;
  const MarkerCase cases[] = {
      {"empty chunk", "", none},
      {"lines without markers",
       "2026-01-31T14:05:09 start\r\n2026-01-31T14:05:10 signature verified\r\n"
       "2026-01-31T14:06:00 success\r\n",
       none},
      {"download", "2026-01-31T14:05:10 download\r\n", TXT_STATUS_DOWNLOADING},
      {"extract", "2026-01-31T14:05:40 extract\r\n", TXT_STATUS_EXTRACTING},
      {"install", "2026-01-31T14:05:50 install\r\n", TXT_STATUS_INSTALLING},
      {"download and extract in one chunk",
       "2026-01-31T14:05:10 download\r\n2026-01-31T14:05:40 extract\r\n", TXT_STATUS_EXTRACTING},
      {"a whole run in one chunk",
       "x start\r\nx signature verified\r\nx download\r\nx extract\r\nx install\r\nx success\r\n",
       TXT_STATUS_INSTALLING},
      {"install before download: the order of the tests decides",
       "2026-01-31T14:05:50 install\r\n2026-01-31T14:05:51 download\r\n", TXT_STATUS_INSTALLING},
      {"extract before download", "extract\r\ndownload\r\n", TXT_STATUS_EXTRACTING},
      {"capital D is no marker", "2026-01-31T14:05:10 Download\r\n", none},
      {"upper case is no marker", "DOWNLOAD EXTRACT INSTALL", none},
      {"installer contains install", "running the installer", TXT_STATUS_INSTALLING},
      {"reinstall contains install", "reinstall", TXT_STATUS_INSTALLING},
      {"no word boundaries needed", "xxdownloadyy", TXT_STATUS_DOWNLOADING},
      {"a FAILED line naming a step sets that step",
       "2026-01-31T14:05:30 FAILED Package download timed out\r\n", TXT_STATUS_DOWNLOADING},
      {"a FAILED line without a step word", "2026-01-31T14:05:30 FAILED Signature invalid\r\n",
       none},
      {"a marker cut at the start of a chunk", "load\r\n2026 extr", none},
      {"a NUL hides the rest of the chunk", std::string("x start\r\n\0x download\r\n", 22), none},
      {"markers before a NUL still count",
       std::string("x download\r\n\0x install\r\n", 24), TXT_STATUS_DOWNLOADING},
  };
  for (const MarkerCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ScanLogMarkers(c.chunk.c_str()), c.status);
  }
}

// A full read of 8192 bytes with the marker in its last bytes: the monitor
// terminates the chunk at index 8192 of its 8193-byte buffer.
TEST(LogMarkers, MarkerAtTheEndOfAFullChunk) {
  char buffer[8193];
  std::string chunk(8192 - 7, '.');
  chunk += "extract";
  std::memcpy(buffer, chunk.data(), 8192);
  buffer[8192] = '\0';
  EXPECT_EQ(ScanLogMarkers(buffer), TXT_STATUS_EXTRACTING);
  buffer[8191] = '\0';  // the same chunk one byte shorter misses it
  EXPECT_EQ(ScanLogMarkers(buffer), std::nullopt);
}

}  // namespace
