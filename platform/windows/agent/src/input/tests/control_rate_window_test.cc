#include "input/control_rate_window.h"

#include <gtest/gtest.h>

namespace ombrelin::input {
namespace {

using std::chrono::milliseconds;
const std::chrono::steady_clock::time_point kStart{std::chrono::hours(5)};

void fill(ControlRateWindow& window, std::chrono::steady_clock::time_point at) {
  for (std::size_t i = 0; i < ControlRateWindow::kMaxMessagesPerSecond; ++i) {
    ASSERT_TRUE(window.admit(at)) << i;
  }
}

TEST(ControlRateWindowTest, The241stWithinOneSecondIsRefusedAndNotRecorded) {
  ControlRateWindow window;
  fill(window, kStart);
  EXPECT_FALSE(window.admit(kStart));
  EXPECT_FALSE(window.admit(kStart + milliseconds(999)));
  EXPECT_EQ(window.size(), 240U);
  EXPECT_TRUE(window.admit(kStart + milliseconds(1000)));
  EXPECT_EQ(window.size(), 1U);
}

TEST(ControlRateWindowTest, TheWindowRollsOneOldestEntryAtATime) {
  ControlRateWindow window;
  for (int i = 0; i < 240; ++i) {
    ASSERT_TRUE(window.admit(kStart + milliseconds(i)));
  }
  EXPECT_FALSE(window.admit(kStart + milliseconds(999)));
  EXPECT_TRUE(window.admit(kStart + milliseconds(1000)));  // the entry at +0 expired
  EXPECT_FALSE(window.admit(kStart + milliseconds(1000)));
  EXPECT_TRUE(window.admit(kStart + milliseconds(1001)));  // and the one at +1
}

TEST(ControlRateWindowTest, EntriesLaterThanNowCountAsJustMade) {
  ControlRateWindow window;
  fill(window, kStart + std::chrono::seconds(10));
  EXPECT_FALSE(window.admit(kStart));
  EXPECT_TRUE(window.admit(kStart + std::chrono::seconds(11)));
}

}  // namespace
}  // namespace ombrelin::input
