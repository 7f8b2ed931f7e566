#pragma once

#include <chrono>

namespace ombrelin::os {

// A clock that never goes backwards, for rate limits. Thread-safe.
class MonotonicClock {
 public:
  virtual ~MonotonicClock() = default;
  [[nodiscard]] virtual std::chrono::steady_clock::time_point now() const = 0;
};

}  // namespace ombrelin::os
