#pragma once

#include <cstdint>
#include <expected>

#include "os/wall_clock.h"
#include "session/command_error.h"

namespace ombrelin::session {

struct UnixTime {
  std::uint64_t milliseconds = 0;
  std::uint64_t seconds = 0;  // milliseconds / 1000
};

// The wall clock as the protocol counts time; a clock before 1970 or beyond what
// 64-bit milliseconds hold is a failure the page is told about.
[[nodiscard]] std::expected<UnixTime, CommandError> read_unix_clock(const os::WallClock& clock);

// The seconds value for lease checks that cannot fail: a clock that cannot be
// read as Unix time counts as the end of time, so every lease has run out.
[[nodiscard]] std::uint64_t lease_check_seconds(const os::WallClock& clock);

}  // namespace ombrelin::session
