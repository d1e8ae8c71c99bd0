// Where the progress monitor reads the log from: the snapshot before the start,
// the shortened log, and logs that reach 2 GiB and beyond.
#include "session/log_position.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(LogPosition, SnapshotBeforeTheStart) {
  struct Case {
    bool exists;
    std::uint64_t size;
    std::uint32_t offset;
  };
  const Case cases[] = {
      {false, 0, 0},
      {false, 12345, 0},  // a failed query reports no log whatever it left in the size
      {true, 0, 0},
      {true, 4711, 4711},
      {true, 0x7FFFFFFFu, 0x7FFFFFFFu},
      {true, 0x80000000u, kLogReachLimit},
      {true, 0xFFFFFFFFu, kLogReachLimit},
      // 4 GiB + 10 bytes: the low 32 bits alone (10) would replay earlier runs.
      {true, 0x10000000Aull, kLogReachLimit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(LogSnapshotOffset(c.exists, c.size), c.offset);
  }
}

TEST(LogPosition, OneTick) {
  struct Case {
    const char* name;
    std::uint64_t size;
    std::uint32_t offset;
    std::uint32_t next_offset;
    bool read;
  };
  const Case cases[] = {
      {"nothing new", 500, 500, 500, false},
      {"new bytes", 600, 500, 500, true},
      {"new log from nothing", 30, 0, 0, true},
      {"empty log, nothing read", 0, 0, 0, false},
      {"log shortened: read again from the start", 200, 500, 0, true},
      {"log emptied", 0, 500, 0, false},
      {"last reachable position", 0x80000000u, 0x7FFFFFFFu, 0x7FFFFFFFu, true},
      {"a read may carry the offset past 2 GiB", 0x80001000u, 0x7FFFF000u, 0x7FFFF000u, true},
      {"at 2 GiB: never seek", 0x80002000u, 0x80000000u, 0x80000000u, false},
      {"beyond 2 GiB: never seek", 0xFFFFFFFFu, 0x80001FFFu, 0x80001FFFu, false},
      {"snapshot of a huge log", 0x100000000ull, kLogReachLimit, kLogReachLimit, false},
      {"huge log is not a shortened one", 0x100000005ull, 0x7FFFFFF0u, 0x7FFFFFF0u, true},
      {"huge log replaced by a small one", 100, kLogReachLimit, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LogReadStep step = PlanLogRead(c.size, c.offset);
    EXPECT_EQ(step.offset, c.next_offset);
    EXPECT_EQ(step.read, c.read);
    if (step.read) {
      // The seek takes a signed 32-bit distance: it must never be negative.
      EXPECT_GE(static_cast<std::int32_t>(step.offset), 0);
    }
  }
}

}  // namespace
