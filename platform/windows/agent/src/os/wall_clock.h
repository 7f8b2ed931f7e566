#pragma once

#include <cstdint>
#include <expected>

#include "os/os_error.h"

namespace ombrelin::os {

// A reading of the system's wall clock relative to the Unix epoch. A clock set
// before 1970 is a state the agent must answer, not an error of the reading.
struct SystemTime {
  bool before_epoch = false;
  std::uint64_t seconds = 0;      // whole seconds since the epoch (when not before it)
  std::uint32_t nanoseconds = 0;  // below one second
};

// The system wall clock, and the time zone in which the local user reads it.
// Thread-safe.
class WallClock {
 public:
  virtual ~WallClock() = default;
  [[nodiscard]] virtual SystemTime now() const = 0;
  // How many minutes local time is ahead of UTC at the instant `unix_seconds`,
  // daylight saving time of that instant included.
  [[nodiscard]] virtual std::expected<std::int32_t, OsError> utc_offset_minutes_at(
      std::uint64_t unix_seconds) const = 0;
};

}  // namespace ombrelin::os
