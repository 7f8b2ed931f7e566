#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "base/doorbell.h"

namespace ombrelin {

// An order-keeping, multi-producer single-consumer queue, unbounded or holding
// at most a given number of values. Senders may be copied to other threads; the
// one receiver can wait with a time limit or take without waiting. The receiver
// learns of disconnection once every sender is gone and the queue is empty; a
// sender learns that the receiver is gone from send(). A sender of a bounded
// channel that is full waits until the receiver takes a value or goes away, so
// whatever feeds the sender is held back where it comes from.
template <typename T>
class Channel {
  struct Shared {
    Shared(std::size_t limit, std::shared_ptr<Doorbell> bell)
        : capacity(limit), doorbell(std::move(bell)) {}

    void ring() const {
      if (doorbell) {
        doorbell->ring();
      }
    }

    std::mutex mutex;
    std::condition_variable ready;  // a value arrived, or the last sender left
    std::condition_variable space;  // a value was taken, or the receiver left
    std::deque<T> queue;
    const std::size_t capacity;                // 0: unbounded
    const std::shared_ptr<Doorbell> doorbell;  // rung on every value and on disconnection
    std::size_t senders = 1;
    bool receiver_alive = true;
  };

 public:
  class Sender {
   public:
    Sender(const Sender& other) : shared_(other.shared_) {
      const std::lock_guard lock(shared_->mutex);
      ++shared_->senders;
    }
    Sender& operator=(const Sender&) = delete;
    Sender(Sender&& other) noexcept = default;
    Sender& operator=(Sender&&) = delete;
    ~Sender() {
      if (!shared_) {
        return;
      }
      bool last = false;
      {
        const std::lock_guard lock(shared_->mutex);
        last = --shared_->senders == 0;
        if (last) {
          shared_->ready.notify_all();
        }
      }
      if (last) {
        shared_->ring();
      }
    }

    // False when the receiver is gone; the value is then dropped. Waits while a
    // bounded channel is full.
    bool send(T value) const {
      {
        std::unique_lock lock(shared_->mutex);
        Shared& shared = *shared_;
        shared.space.wait(lock, [&shared] {
          return !shared.receiver_alive || shared.capacity == 0 ||
                 shared.queue.size() < shared.capacity;
        });
        if (!shared.receiver_alive) {
          return false;
        }
        shared.queue.push_back(std::move(value));
      }
      shared_->ready.notify_one();
      shared_->ring();
      return true;
    }

   private:
    friend class Channel;
    explicit Sender(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    std::shared_ptr<Shared> shared_;
  };

  enum class Wait { kReceived, kTimedOut, kDisconnected };

  class Receiver {
   public:
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;
    Receiver(Receiver&&) noexcept = default;
    Receiver& operator=(Receiver&&) = delete;
    ~Receiver() {
      if (!shared_) {
        return;
      }
      {
        const std::lock_guard lock(shared_->mutex);
        shared_->receiver_alive = false;
        shared_->queue.clear();
      }
      shared_->space.notify_all();
    }

    [[nodiscard]] std::optional<T> try_receive() {
      const std::lock_guard lock(shared_->mutex);
      return pop_locked();
    }

    // Waits up to `limit` for a value; `out` receives it when kReceived.
    [[nodiscard]] Wait receive_for(std::chrono::milliseconds limit, std::optional<T>& out) {
      std::unique_lock lock(shared_->mutex);
      shared_->ready.wait_for(lock, limit,
                              [this] { return !shared_->queue.empty() || shared_->senders == 0; });
      out = pop_locked();
      if (out) {
        return Wait::kReceived;
      }
      return shared_->senders == 0 ? Wait::kDisconnected : Wait::kTimedOut;
    }

   private:
    friend class Channel;
    explicit Receiver(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    std::optional<T> pop_locked() {
      if (shared_->queue.empty()) {
        return std::nullopt;
      }
      std::optional<T> value(std::move(shared_->queue.front()));
      shared_->queue.pop_front();
      shared_->space.notify_one();  // only one sender can be waiting for one place
      return value;
    }

    std::shared_ptr<Shared> shared_;
  };

  // A channel that holds at most `capacity` values (0: unbounded), ringing
  // `doorbell`, if any, on every value and when its last sender leaves.
  static std::pair<Sender, Receiver> create(std::size_t capacity = 0,
                                            std::shared_ptr<Doorbell> doorbell = nullptr) {
    auto shared = std::make_shared<Shared>(capacity, std::move(doorbell));
    return {Sender(shared), Receiver(shared)};
  }
};

}  // namespace ombrelin
