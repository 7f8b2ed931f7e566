#pragma once

#include "os/wall_clock.h"

namespace ombrelin::session {

// A wall clock that reads whatever the test set.
class FakeWallClock final : public os::WallClock {
 public:
  explicit FakeWallClock(os::SystemTime time = {}) : time_(time) {}
  void set(os::SystemTime time) { time_ = time; }
  [[nodiscard]] os::SystemTime now() const override { return time_; }

 private:
  os::SystemTime time_;
};

}  // namespace ombrelin::session
