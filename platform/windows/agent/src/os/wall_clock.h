#pragma once

#include <cstdint>

namespace ombrelin::os {

// A reading of the system's wall clock relative to the Unix epoch. A clock set
// before 1970 is a state the agent must answer, not an error of the reading.
struct SystemTime {
  bool before_epoch = false;
  std::uint64_t seconds = 0;      // whole seconds since the epoch (when not before it)
  std::uint32_t nanoseconds = 0;  // below one second
};

// The system wall clock. Thread-safe.
class WallClock {
 public:
  virtual ~WallClock() = default;
  [[nodiscard]] virtual SystemTime now() const = 0;
};

}  // namespace ombrelin::os
