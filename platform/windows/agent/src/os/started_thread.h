#pragma once

#include <chrono>
#include <expected>
#include <functional>
#include <memory>
#include <string_view>
#include <system_error>

namespace ombrelin::os {

// A thread the host started. Dropping it lets the thread run on, so the process
// may end while the thread waits in a read. A thread that is already ending is
// better waited for: a process that ends while one of its threads is half-way
// through its own exit can cut that thread short while it holds a process-wide
// lock, and the process then never finishes ending.
class StartedThread {
 public:
  struct Handle;  // each implementation's own

  explicit StartedThread(std::unique_ptr<Handle> handle);
  StartedThread(StartedThread&&) noexcept;
  StartedThread& operator=(StartedThread&&) noexcept;
  StartedThread(const StartedThread&) = delete;
  StartedThread& operator=(const StartedThread&) = delete;
  ~StartedThread();

  // True once the thread has ended completely; waits up to `limit` for that.
  [[nodiscard]] bool wait_for_end(std::chrono::milliseconds limit);

 private:
  std::unique_ptr<Handle> handle_;
};

// Runs `body` on a new thread, named `name` for debuggers unless that is empty;
// the system's reason when the thread cannot be created.
[[nodiscard]] std::expected<StartedThread, std::error_code> start_thread(
    std::string_view name, std::move_only_function<void()> body);

}  // namespace ombrelin::os
