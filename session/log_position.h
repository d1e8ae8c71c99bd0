// Where the progress monitor reads the installer script's log from. Pure (no
// windows.h).
//
// The read position is a 32-bit count and the seek that reaches it takes a
// signed 32-bit distance, so only positions below 2 GiB can be read. A log
// that has grown to 2 GiB or more is not followed past that point: the monitor
// reads nothing more from it (the status line keeps its text until the exit
// code sets the final one), and it never seeks to a negative distance. Sizes
// are taken whole (64 bits), so a log of 4 GiB or more is not mistaken for a
// shortened one and re-read from its start.
#ifndef VTF_SESSION_LOG_POSITION_H
#define VTF_SESSION_LOG_POSITION_H
#include <cstdint>

// The first position that a signed 32-bit seek cannot reach.
constexpr std::uint32_t kLogReachLimit = 0x80000000u;

// Most bytes read from the log in one tick.
constexpr std::uint32_t kLogChunkBytes = 8192;

// The position to follow the log from, taken just before the script starts:
// 0 without a log, its size for a log below 2 GiB, else kLogReachLimit (the
// lines of this run lie out of reach).
std::uint32_t LogSnapshotOffset(bool log_exists, std::uint64_t log_size);

struct LogReadStep {
  std::uint32_t offset;  // the position after the shortening check
  bool read;             // whether to seek to `offset` and read a chunk
};

// One tick's plan for a log of `log_size` bytes read up to `offset`: a log
// shorter than the offset was replaced and is read again from its start; new
// bytes are read only from a position that the seek can reach.
LogReadStep PlanLogRead(std::uint64_t log_size, std::uint32_t offset);

#endif
