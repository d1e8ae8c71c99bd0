#include "session/log_position.h"

std::uint32_t LogSnapshotOffset(bool log_exists, std::uint64_t log_size) {
  if (!log_exists) return 0;
  if (log_size >= kLogReachLimit) return kLogReachLimit;
  return static_cast<std::uint32_t>(log_size);
}

LogReadStep PlanLogRead(std::uint64_t log_size, std::uint32_t offset) {
  if (log_size < offset) offset = 0;
  return {offset, log_size > offset && offset < kLogReachLimit};
}
