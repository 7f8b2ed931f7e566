#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace ombrelin {

// Carries exactly one value from one thread to another. The receiver waits with a
// time limit and may give up; the sender learns from send() whether anyone still
// listens, and a sender dropped without sending closes the channel.
template <typename T>
class OneShot {
  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<T> value;
    bool sender_gone = false;
    bool receiver_gone = false;
  };

 public:
  class Sender {
   public:
    Sender(Sender&&) noexcept = default;
    Sender& operator=(Sender&&) = delete;
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;
    ~Sender() {
      if (!shared_) {
        return;
      }
      {
        const std::lock_guard lock(shared_->mutex);
        shared_->sender_gone = true;
      }
      shared_->changed.notify_all();
    }

    // False when the receiver has already given up; the value is then dropped.
    bool send(T value) {
      {
        const std::lock_guard lock(shared_->mutex);
        if (shared_->receiver_gone || shared_->value) {
          return false;
        }
        shared_->value = std::move(value);
      }
      shared_->changed.notify_all();
      return true;
    }

   private:
    friend class OneShot;
    explicit Sender(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    std::shared_ptr<Shared> shared_;
  };

  class Receiver {
   public:
    Receiver(Receiver&&) noexcept = default;
    Receiver& operator=(Receiver&&) = delete;
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;
    ~Receiver() { give_up(); }

    // The value, or none when the limit passed or the sender went away without one.
    // Either way the receiver has given up afterwards.
    [[nodiscard]] std::optional<T> receive_for(std::chrono::milliseconds limit) {
      std::unique_lock lock(shared_->mutex);
      shared_->changed.wait_for(lock, limit,
                                [this] { return shared_->value || shared_->sender_gone; });
      shared_->receiver_gone = true;
      return std::exchange(shared_->value, std::nullopt);
    }

   private:
    friend class OneShot;
    explicit Receiver(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    void give_up() {
      if (shared_) {
        const std::lock_guard lock(shared_->mutex);
        shared_->receiver_gone = true;
      }
    }

    std::shared_ptr<Shared> shared_;
  };

  static std::pair<Sender, Receiver> create() {
    auto shared = std::make_shared<Shared>();
    return {Sender(shared), Receiver(shared)};
  }
};

}  // namespace ombrelin
