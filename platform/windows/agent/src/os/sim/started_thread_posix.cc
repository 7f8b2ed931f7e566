#include "os/started_thread.h"

#include <pthread.h>

#include <future>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace ombrelin::os {

struct StartedThread::Handle {
  std::thread thread;
  // Ready once the thread's body has returned; joining it is then a formality.
  std::future<void> body_returned;

  ~Handle() {
    if (thread.joinable()) {
      thread.detach();
    }
  }
};

StartedThread::StartedThread(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
StartedThread::StartedThread(StartedThread&&) noexcept = default;
StartedThread& StartedThread::operator=(StartedThread&&) noexcept = default;
StartedThread::~StartedThread() = default;

bool StartedThread::wait_for_end(std::chrono::milliseconds limit) {
  if (!handle_->thread.joinable()) {
    return true;
  }
  if (handle_->body_returned.wait_for(limit) != std::future_status::ready) {
    return false;
  }
  handle_->thread.join();
  return true;
}

std::expected<StartedThread, std::error_code> start_thread(std::string_view name,
                                                           std::move_only_function<void()> body) {
  std::promise<void> body_returned;
  auto handle = std::make_unique<StartedThread::Handle>();
  handle->body_returned = body_returned.get_future();
  try {
    // Linux keeps at most 15 bytes of a thread's name.
    handle->thread = std::thread([name = std::string(name.substr(0, 15)), body = std::move(body),
                                  body_returned = std::move(body_returned)]() mutable {
      if (!name.empty()) {
        pthread_setname_np(pthread_self(), name.c_str());
      }
      body();
      body_returned.set_value();
    });
  } catch (const std::system_error& error) {
    return std::unexpected(error.code());
  }
  return StartedThread(std::move(handle));
}

}  // namespace ombrelin::os
