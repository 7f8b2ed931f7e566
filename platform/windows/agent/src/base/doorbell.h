#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace ombrelin {

// Lets one thread wait for news from several channels at once: every channel
// given the doorbell rings it when a value arrives or its last sender leaves.
// The waiter reads the number of rings, looks at its channels, and waits only if
// nothing has rung since, so no news is missed between the look and the wait.
class Doorbell {
 public:
  void ring() {
    {
      const std::lock_guard lock(mutex_);
      ++rings_;
    }
    rung_.notify_all();
  }

  [[nodiscard]] std::uint64_t rings() const {
    const std::lock_guard lock(mutex_);
    return rings_;
  }

  // Waits up to `limit` for a ring after the `seen` count; true if there was one.
  bool wait_for_ring(std::uint64_t seen, std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return rung_.wait_for(lock, limit, [&] { return rings_ != seen; });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable rung_;
  std::uint64_t rings_ = 0;
};

}  // namespace ombrelin
