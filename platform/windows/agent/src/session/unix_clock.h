#pragma once

#include <expected>

#include "os/unix_time.h"
#include "os/wall_clock.h"
#include "session/command_error.h"

namespace ombrelin::session {

// The wall clock as Unix time; a clock before 1970 or beyond what 64-bit
// milliseconds hold is a failure the page is told about.
[[nodiscard]] std::expected<os::UnixTime, CommandError> read_unix_clock(const os::WallClock& clock);

[[nodiscard]] CommandError clock_error(os::UnixTimeError error) noexcept;

}  // namespace ombrelin::session
