#pragma once

#include <chrono>

#include "os/monotonic_clock.h"

namespace ombrelin::os {

// The standard library's steady clock (QueryPerformanceCounter on Windows,
// CLOCK_MONOTONIC elsewhere); the simulated desktop does not move it.
class SteadyMonotonicClock final : public MonotonicClock {
 public:
  std::chrono::steady_clock::time_point now() const override {
    return std::chrono::steady_clock::now();
  }
};

}  // namespace ombrelin::os
