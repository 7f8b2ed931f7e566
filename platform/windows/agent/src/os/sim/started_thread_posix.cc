#include <pthread.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "os/started_thread.h"

namespace ombrelin::os {

namespace {

// Set by the thread once its body has returned; joining it is then a formality.
struct BodyEnd {
  std::mutex mutex;
  std::condition_variable changed;
  bool ended = false;
};

}  // namespace

struct StartedThread::Handle {
  std::thread thread;
  std::shared_ptr<BodyEnd> body_end;

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
  {
    std::unique_lock lock(handle_->body_end->mutex);
    if (!handle_->body_end->changed.wait_for(lock, limit,
                                             [this] { return handle_->body_end->ended; })) {
      return false;
    }
  }
  handle_->thread.join();
  return true;
}

std::expected<StartedThread, std::error_code> start_thread(std::string_view name,
                                                           std::move_only_function<void()> body) {
  auto handle = std::make_unique<StartedThread::Handle>();
  handle->body_end = std::make_shared<BodyEnd>();
  try {
    // Linux keeps at most 15 bytes of a thread's name.
    handle->thread = std::thread([name = std::string(name.substr(0, 15)), body = std::move(body),
                                  body_end = handle->body_end]() mutable {
      if (!name.empty()) {
        pthread_setname_np(pthread_self(), name.c_str());
      }
      body();
      {
        const std::lock_guard lock(body_end->mutex);
        body_end->ended = true;
      }
      body_end->changed.notify_all();
    });
  } catch (const std::system_error& error) {
    return std::unexpected(error.code());
  }
  return StartedThread(std::move(handle));
}

}  // namespace ombrelin::os
