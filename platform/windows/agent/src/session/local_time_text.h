#pragma once

#include <cstdint>
#include <string>

#include "os/wall_clock.h"

namespace ombrelin::session {

// An instant as the local user reads it: the local date and time of day and
// their offset from UTC, "2026-12-08 14:32:05 (UTC+01:00)". `utc_offset_minutes`
// is how far local time is ahead of UTC at that instant.
[[nodiscard]] std::string format_local_time(std::uint64_t unix_seconds,
                                            std::int32_t utc_offset_minutes);

// The instant in the clock's local time; in UTC, and saying so, when the time
// zone cannot be read.
[[nodiscard]] std::string local_time_text(const os::WallClock& clock, std::uint64_t unix_seconds);

}  // namespace ombrelin::session
