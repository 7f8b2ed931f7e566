#include "base/channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace ombrelin {
namespace {

using namespace std::chrono_literals;
using IntChannel = Channel<int>;
using Wait = IntChannel::Wait;

TEST(Channel, KeepsOrder) {
  auto [sender, receiver] = IntChannel::create();
  for (int i = 0; i < 100; ++i) {
    ASSERT_TRUE(sender.send(i));
  }
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(receiver.try_receive(), i);
  }
  std::optional<int> out;
  for (int i = 50; i < 100; ++i) {
    ASSERT_EQ(receiver.receive_for(0ms, out), Wait::kReceived);
    EXPECT_EQ(out, i);
  }
  EXPECT_EQ(receiver.try_receive(), std::nullopt);
}

TEST(Channel, ReceiveForTimesOutWhileASenderLives) {
  auto [sender, receiver] = IntChannel::create();
  std::optional<int> out = 7;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(receiver.receive_for(30ms, out), Wait::kTimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
  EXPECT_EQ(out, std::nullopt);
}

TEST(Channel, DisconnectionComesOnlyAfterTheQueueIsDrained) {
  auto [sender, receiver] = IntChannel::create();
  {
    const IntChannel::Sender copy = sender;
    EXPECT_TRUE(copy.send(1));
    EXPECT_TRUE(sender.send(2));
    const IntChannel::Sender gone = std::move(sender);
  }
  std::optional<int> out;
  ASSERT_EQ(receiver.receive_for(1s, out), Wait::kReceived);
  EXPECT_EQ(out, 1);
  ASSERT_EQ(receiver.receive_for(1s, out), Wait::kReceived);
  EXPECT_EQ(out, 2);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(receiver.receive_for(10s, out), Wait::kDisconnected);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);  // told at once, not after the limit
  EXPECT_EQ(receiver.try_receive(), std::nullopt);
}

TEST(Channel, AMovedFromSenderDoesNotCountAsGone) {
  auto [sender, receiver] = IntChannel::create();
  std::optional<IntChannel::Sender> moved_from(std::move(sender));
  const IntChannel::Sender kept = std::move(*moved_from);
  moved_from.reset();
  std::optional<int> out;
  EXPECT_EQ(receiver.receive_for(0ms, out), Wait::kTimedOut);
  EXPECT_TRUE(kept.send(3));
}

TEST(Channel, SendFailsOnceTheReceiverIsGone) {
  auto [sender, receiver] = IntChannel::create();
  EXPECT_TRUE(sender.send(1));
  { const IntChannel::Receiver gone = std::move(receiver); }
  EXPECT_FALSE(sender.send(2));
  const IntChannel::Sender copy = sender;
  EXPECT_FALSE(copy.send(3));
}

TEST(Channel, QueuedValuesAreReleasedWithTheReceiver) {
  auto [sender, receiver] = Channel<std::shared_ptr<int>>::create();
  const auto value = std::make_shared<int>(1);
  ASSERT_TRUE(sender.send(value));
  EXPECT_EQ(value.use_count(), 2);
  { const auto gone = std::move(receiver); }
  EXPECT_EQ(value.use_count(), 1);
}

TEST(Channel, WaitingReceiverWakesForAValueAndForTheLastSender) {
  auto [sender, receiver] = IntChannel::create();
  std::optional<int> out;
  {
    std::jthread producer([copy = IntChannel::Sender(sender)] {
      std::this_thread::sleep_for(20ms);
      EXPECT_TRUE(copy.send(42));
    });
    EXPECT_EQ(receiver.receive_for(10s, out), Wait::kReceived);
    EXPECT_EQ(out, 42);
  }
  std::jthread last([owned = std::move(sender)]() mutable {
    std::this_thread::sleep_for(20ms);
    const IntChannel::Sender dropped = std::move(owned);
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(receiver.receive_for(10s, out), Wait::kDisconnected);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(Channel, SenderCopiesOnSeveralThreads) {
  constexpr int kThreads = 4;
  constexpr int kValues = 2000;
  auto [sender, receiver] = Channel<std::pair<int, int>>::create();
  std::vector<std::jthread> producers;
  for (int t = 0; t < kThreads; ++t) {
    producers.emplace_back([copy = sender, t] {
      for (int i = 0; i < kValues; ++i) {
        EXPECT_TRUE(copy.send({t, i}));
      }
    });
  }
  { const auto original = std::move(sender); }

  std::vector<int> next(kThreads, 0);
  std::optional<std::pair<int, int>> out;
  int received = 0;
  while (receiver.receive_for(10s, out) == Channel<std::pair<int, int>>::Wait::kReceived) {
    const auto [t, i] = *out;
    ASSERT_EQ(i, next[static_cast<std::size_t>(t)]) << "thread " << t << " out of order";
    ++next[static_cast<std::size_t>(t)];
    ++received;
  }
  EXPECT_EQ(received, kThreads * kValues);
}

// A full bounded channel holds its sender back until a value is taken, and
// nothing is lost or reordered on the way.
TEST(BoundedChannel, AFullChannelHoldsTheSenderBack) {
  auto [sender, receiver] = IntChannel::create(2);
  std::atomic<int> sent = 0;
  std::thread producer([&sender = sender, &sent] {
    for (int i = 0; i < 50; ++i) {
      ASSERT_TRUE(sender.send(i));
      ++sent;
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + 3s;
  while (sent < 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(sent, 2);  // the third send waits for a place
  std::optional<int> out;
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(receiver.receive_for(3s, out), Wait::kReceived);
    EXPECT_EQ(out, i);
  }
  producer.join();
}

TEST(BoundedChannel, AWaitingSenderLearnsThatTheReceiverIsGone) {
  auto [sender, receiver] = IntChannel::create(1);
  ASSERT_TRUE(sender.send(1));
  std::optional<bool> second;
  std::thread producer([&sender = sender, &second] { second = sender.send(2); });
  std::this_thread::sleep_for(20ms);
  { const IntChannel::Receiver gone = std::move(receiver); }
  producer.join();
  EXPECT_EQ(second, false);
}

// The last values and the disconnection arrive in order, however full the
// channel was when the sender left.
TEST(BoundedChannel, DisconnectionComesAfterTheLastValues) {
  auto [sender, receiver] = IntChannel::create(3);
  std::thread producer([sender = std::move(sender)]() mutable {
    for (int i = 0; i < 10; ++i) {
      ASSERT_TRUE(sender.send(i));
    }
  });
  std::optional<int> out;
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(receiver.receive_for(3s, out), Wait::kReceived);
    EXPECT_EQ(out, i);
  }
  producer.join();
  EXPECT_EQ(receiver.receive_for(3s, out), Wait::kDisconnected);
}

}  // namespace
}  // namespace ombrelin
