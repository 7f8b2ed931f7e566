#include "os/started_thread.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <array>
#include <chrono>
#include <future>
#include <string>

namespace ombrelin::os {
namespace {

using namespace std::chrono_literals;

TEST(StartedThread, EndsOnlyOnceItsBodyHasReturned) {
  std::promise<void> release;
  auto thread =
      start_thread("test-worker", [released = release.get_future()]() mutable { released.wait(); });
  ASSERT_TRUE(thread.has_value());

  EXPECT_FALSE(thread->wait_for_end(0ms));
  EXPECT_FALSE(thread->wait_for_end(20ms));
  release.set_value();
  EXPECT_TRUE(thread->wait_for_end(5s));
  EXPECT_TRUE(thread->wait_for_end(0ms));  // and stays ended
}

// The process may end while a reader waits in a read: letting go of a running
// thread must not wait for it.
TEST(StartedThread, DroppingARunningThreadLeavesItRunning) {
  std::promise<void> release;
  std::promise<void> finished;
  auto finished_future = finished.get_future();
  {
    auto thread = start_thread(
        "test-worker", [released = release.get_future(), done = std::move(finished)]() mutable {
          released.wait();
          done.set_value();
        });
    ASSERT_TRUE(thread.has_value());
  }
  release.set_value();
  EXPECT_EQ(finished_future.wait_for(5s), std::future_status::ready);
}

TEST(StartedThread, NamesTheThreadForDebuggers) {
  std::promise<std::string> seen;
  auto seen_future = seen.get_future();
  auto thread = start_thread("ombrelin-visible-indicator", [&seen] {
    std::array<char, 16> name{};
    pthread_getname_np(pthread_self(), name.data(), name.size());
    seen.set_value(name.data());
  });
  ASSERT_TRUE(thread.has_value());
  // Linux keeps 15 bytes of it.
  EXPECT_EQ(seen_future.get(), "ombrelin-visibl");
  EXPECT_TRUE(thread->wait_for_end(5s));
}

}  // namespace
}  // namespace ombrelin::os
