#include "session/visible_indicator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <expected>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "os/tests/fake_clocks.h"
#include "session/tests/fake_window_system.h"

namespace ombrelin::session {
namespace {

using namespace std::chrono_literals;
using os::WindowHandle;
using testing::FakeWindowSystem;

constexpr std::uint32_t kWmUser = 0x0400;
// The session the indicator's events name.
constexpr std::uint64_t kSession = 7;
// A started indicator: its window, the font, four controls each given the font,
// two calls that show the window, and the shortcut.
constexpr std::size_t kStartCalls = 13;
// The texts the indicator of these tests shows.
constexpr std::string_view kRequester = "Field Support";
constexpr std::string_view kGrants = "VIEW_SCREEN, SEND_POINTER";
constexpr std::string_view kExpires = "2023-11-14 22:13:20 (UTC+00:00)";

class IndicatorTest : public ::testing::Test {
 protected:
  ~IndicatorTest() override {
    if (main_ != 0) {
      windows_->post_message(main_, kCloseIndicator, 0, 0);
    }
    if (windows_ && !wait_for_thread_end()) {
      ADD_FAILURE() << "the indicator thread did not end";
      (void)windows_.release();  // left behind rather than pulled from under the thread
    }
  }

  // Starts the indicator; the test keeps no sender of its own, so the channel
  // reports disconnection once the indicator thread has ended.
  std::expected<RunningIndicator, IndicatorStartFailure> start(
      std::chrono::milliseconds limit = kIndicatorStartLimit) {
    auto [sender, receiver] = IndicatorChannel::create();
    receiver_.emplace(std::move(receiver));
    auto started = start_visible_indicator(
        *windows_, clock_, {kRequester, kGrants, kExpires, kSession}, std::move(sender), limit);
    if (started) {
      main_ = started->window;
      status_label_ = windows_->window_with_text("Remote input enabled");
      pause_button_ = windows_->window_with_text("Pause input");
      EXPECT_NE(status_label_, 0u);
      EXPECT_NE(pause_button_, 0u);
    }
    return started;
  }

  // What the indicator did after its start (the test's own posts left out), once
  // that is at least `count` calls.
  std::vector<std::string> wait_for_new_calls(std::size_t count) const {
    return windows_->wait_for_calls(kStartCalls, count);
  }

  // Every event sent until the indicator thread ended; false if it did not end.
  bool wait_for_thread_end() {
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (std::chrono::steady_clock::now() < deadline) {
      std::optional<IndicatorNotice> notice;
      switch (receiver_->receive_for(50ms, notice)) {
        case IndicatorChannel::Wait::kReceived:
          EXPECT_EQ(notice->session, kSession);
          events_.push_back(notice->event);
          break;
        case IndicatorChannel::Wait::kDisconnected:
          main_ = 0;
          return true;
        case IndicatorChannel::Wait::kTimedOut:
          break;
      }
    }
    return false;
  }

  std::vector<IndicatorEvent> events_now() {
    while (const auto notice = receiver_->try_receive()) {
      EXPECT_EQ(notice->session, kSession);
      events_.push_back(notice->event);
    }
    return events_;
  }

  void post(std::uint32_t message, std::uintptr_t wparam = 0) {
    ASSERT_TRUE(windows_->post_message(main_, message, wparam, 0));
  }

  std::vector<std::string> shown(bool paused) const {
    const auto text = [](WindowHandle window, std::string_view shown_text) {
      return "SetWindowTextW " + std::to_string(window) + " " + std::string(shown_text);
    };
    return paused ? std::vector{text(pause_button_, "Resume input"),
                                text(status_label_, "Remote input PAUSED")}
                  : std::vector{text(pause_button_, "Pause input"),
                                text(status_label_, "Remote input enabled")};
  }
  // The window closes, then its font goes.
  std::vector<std::string> closed() const {
    const std::string window = std::to_string(main_);
    return {"UnregisterHotKey " + window + " 1", "DestroyWindow " + window, "DeleteObject 1"};
  }

  // Physical and injected input as the indicator's watch sees it.
  void send_input(const os::LowLevelInput& input) { windows_->send_low_level_input(input); }

  os::testing::FakeMonotonicClock clock_;
  std::unique_ptr<FakeWindowSystem> windows_ = std::make_unique<FakeWindowSystem>();
  std::optional<IndicatorReceiver> receiver_;
  std::vector<IndicatorEvent> events_;
  WindowHandle main_ = 0;
  WindowHandle status_label_ = 0;
  WindowHandle pause_button_ = 0;
};

// The window procedure ------------------------------------------------------------

enum class Effect : std::uint8_t {
  kNothing,
  kShowPaused,
  kShowEnabled,
  kShowLocalUserActive,
  kPauseEvent,
  kClose
};

struct MessageCase {
  std::string name;
  std::uint32_t message;
  std::uintptr_t wparam;
  Effect effect;
  std::optional<IndicatorEvent> event;
};

void PrintTo(const MessageCase& test, std::ostream* out) { *out << test.name; }

class IndicatorMessage : public IndicatorTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(IndicatorMessage, HasItsEffect) {
  ASSERT_TRUE(start().has_value());
  post(GetParam().message, GetParam().wparam);

  std::vector<std::string> expected;
  if (GetParam().effect == Effect::kClose) {
    expected = closed();
    ASSERT_TRUE(wait_for_thread_end());
  } else {
    switch (GetParam().effect) {
      case Effect::kShowPaused:
      case Effect::kPauseEvent:
        expected = shown(true);
        break;
      case Effect::kShowEnabled:
        expected = shown(false);
        break;
      case Effect::kShowLocalUserActive:
        expected = {"SetWindowTextW " + std::to_string(pause_button_) + " Pause input",
                    "SetWindowTextW " + std::to_string(status_label_) + " Local user active"};
        post(kShowLocalActivity, 0);  // back to the usual text
        for (const std::string& line : shown(false)) {
          expected.push_back(line);
        }
        break;
      default:
        break;
    }
    // A message that everything before it has been handled: show the enabled state.
    post(kShowPauseState, 0);
    for (const std::string& line : shown(false)) {
      expected.push_back(line);
    }
  }
  EXPECT_EQ(wait_for_new_calls(expected.size()), expected);
  const std::vector<IndicatorEvent> events = events_now();
  EXPECT_EQ(events,
            GetParam().event ? std::vector{*GetParam().event} : std::vector<IndicatorEvent>{});
}

INSTANTIATE_TEST_SUITE_P(
    Messages, IndicatorMessage,
    ::testing::Values(
        MessageCase{"PauseButton", os::kWmCommand, kPauseButtonId, Effect::kPauseEvent,
                    IndicatorEvent::kPause},
        MessageCase{"StopButton", os::kWmCommand, kStopButtonId, Effect::kClose,
                    IndicatorEvent::kStop},
        MessageCase{"EmergencyShortcut", os::kWmHotKey, 1, Effect::kClose, IndicatorEvent::kStop},
        MessageCase{"EmergencyShortcutByHand", kEmergencyShortcut, 0, Effect::kClose,
                    IndicatorEvent::kStop},
        MessageCase{"ShowLocalUserActive", kShowLocalActivity, 1, Effect::kShowLocalUserActive,
                    std::nullopt},
        MessageCase{"CloseBox", os::kWmClose, 0, Effect::kClose, IndicatorEvent::kStop},
        MessageCase{"CloseIndicator", kCloseIndicator, 0, Effect::kClose, std::nullopt},
        MessageCase{"ShowPaused", kShowPauseState, 1, Effect::kShowPaused, std::nullopt},
        MessageCase{"ShowPausedAnyNonZero", kShowPauseState, 7, Effect::kShowPaused, std::nullopt},
        MessageCase{"ShowEnabled", kShowPauseState, 0, Effect::kShowEnabled, std::nullopt},
        // Told to the main loop, which answers with the pause state to show.
        MessageCase{"DisplayChange", os::kWmDisplayChange, 32, Effect::kNothing,
                    IndicatorEvent::kDisplayChanged},
        MessageCase{"ButtonNotification", os::kWmCommand, 1u << 16 | kStopButtonId,
                    Effect::kNothing, std::nullopt},
        MessageCase{"OtherControl", os::kWmCommand, 1003, Effect::kNothing, std::nullopt},
        MessageCase{"OtherHotKey", os::kWmHotKey, 2, Effect::kNothing, std::nullopt},
        MessageCase{"OtherMessage", kWmUser, kStopButtonId, Effect::kNothing, std::nullopt},
        MessageCase{"LaterAppMessage", os::kWmApp + 5, 1, Effect::kNothing, std::nullopt}),
    [](const auto& test) { return test.param.name; });

TEST_F(IndicatorTest, PauseButtonTogglesFromTheShownState) {
  ASSERT_TRUE(start().has_value());
  post(os::kWmCommand, kPauseButtonId);
  post(os::kWmCommand, kPauseButtonId);
  // The main loop said "paused" without a press: the next press resumes.
  post(kShowPauseState, 1);
  post(os::kWmCommand, kPauseButtonId);

  std::vector<std::string> expected;
  for (const bool paused : {true, false, true, false}) {
    for (const std::string& line : shown(paused)) {
      expected.push_back(line);
    }
  }
  EXPECT_EQ(wait_for_new_calls(expected.size()), expected);
  EXPECT_EQ(events_now(), (std::vector{IndicatorEvent::kPause, IndicatorEvent::kResume,
                                       IndicatorEvent::kResume}));
}

// Start-up -----------------------------------------------------------------------

// An indicator that reports after the starter gave up belongs to no session: it
// closes its own window and never tells the main loop anything.
TEST_F(IndicatorTest, LateIndicatorClosesQuietly) {
  windows_->start_delay = 150ms;
  auto started = start(10ms);
  ASSERT_FALSE(started.has_value());
  EXPECT_EQ(started.error().error, CommandError::kIndicatorStartFailed);
  // The host can still wait for the late thread before it ends.
  ASSERT_TRUE(started.error().thread.has_value());

  ASSERT_TRUE(wait_for_thread_end());
  EXPECT_TRUE(started.error().thread->wait_for_end(3s));
  const std::vector<std::string> calls = windows_->calls();
  ASSERT_EQ(calls.size(), kStartCalls + 3);
  main_ = 1;  // the first window created, destroyed by now
  EXPECT_FALSE(windows_->exists(main_));
  EXPECT_EQ(calls[kStartCalls - 1], "RegisterHotKey 1 1 16391 123");
  EXPECT_EQ(std::vector(calls.begin() + kStartCalls, calls.end()), closed());
  main_ = 0;
  EXPECT_EQ(events_now(), std::vector<IndicatorEvent>{});
}

// Without the message font the controls keep the system font, in which the
// label is then measured; there is no font to delete.
TEST_F(IndicatorTest, WithoutTheMessageFontTheControlsKeepTheSystemFont) {
  windows_->failing_step = testing::FailingStep::kFont;
  ASSERT_TRUE(start().has_value());
  post(kCloseIndicator);
  ASSERT_TRUE(wait_for_thread_end());
  const std::vector<std::string> calls = windows_->calls();
  EXPECT_EQ(std::ranges::count(calls, "SetFont 2 0") + std::ranges::count(calls, "SetFont 5 0"), 2);
  EXPECT_EQ(std::ranges::count_if(
                calls, [](const std::string& call) { return call.starts_with("DeleteObject"); }),
            0);
}

struct ShowCase {
  std::string name;
  std::optional<int> visible_from_show;
  std::vector<std::string> shows;
  bool started;
};

void PrintTo(const ShowCase& test, std::ostream* out) { *out << test.name; }

class IndicatorShow : public IndicatorTest, public ::testing::WithParamInterface<ShowCase> {};

// The start-up show state a browser gives its hosts may spend the first show;
// a window that stays hidden fails the start and goes away.
TEST_P(IndicatorShow, StartsOnlyOnceVisible) {
  windows_->visible_from_show = GetParam().visible_from_show;
  auto started = start();
  ASSERT_EQ(started.has_value(), GetParam().started);
  std::vector<std::string> shows;
  for (const std::string& call : windows_->calls()) {
    if (call.starts_with("ShowWindow") || call.starts_with("IsWindowVisible")) {
      shows.push_back(call);
    }
  }
  EXPECT_EQ(shows, GetParam().shows);
  if (!started) {
    EXPECT_EQ(started.error().error, CommandError::kIndicatorStartFailed);
    ASSERT_TRUE(wait_for_thread_end());
    const std::vector<std::string> calls = windows_->calls();
    EXPECT_FALSE(windows_->exists(1));
    EXPECT_EQ(std::vector(calls.end() - 2, calls.end()),
              (std::vector<std::string>{"DestroyWindow 1", "DeleteObject 1"}));
    EXPECT_EQ(
        std::ranges::count_if(
            calls, [](const std::string& call) { return call.starts_with("RegisterHotKey"); }),
        0);
    EXPECT_EQ(events_now(), std::vector<IndicatorEvent>{});
  }
}

INSTANTIATE_TEST_SUITE_P(Shows, IndicatorShow,
                         ::testing::Values(ShowCase{"AtTheFirstShow",
                                                    1,
                                                    {"ShowWindow 1 4", "IsWindowVisible 1 true"},
                                                    true},
                                           ShowCase{"AfterAHiddenStartUpState",
                                                    2,
                                                    {"ShowWindow 1 4", "IsWindowVisible 1 false",
                                                     "ShowWindow 1 4", "IsWindowVisible 1 true"},
                                                    true},
                                           ShowCase{"Never",
                                                    std::nullopt,
                                                    {"ShowWindow 1 4", "IsWindowVisible 1 false",
                                                     "ShowWindow 1 4", "IsWindowVisible 1 false"},
                                                    false}),
                         [](const auto& test) { return test.param.name; });

struct StartFailureCase {
  std::string name;
  testing::FailingStep step;
  CommandError error;
  std::int32_t character_width = 7;  // 20: the label needs a larger window
};

class IndicatorStartFailure : public IndicatorTest,
                              public ::testing::WithParamInterface<StartFailureCase> {};

// A failed start never leaves a window behind, and never tells the main loop.
TEST_P(IndicatorStartFailure, ReportsItsKindAndLeavesNoWindow) {
  windows_->failing_step = GetParam().step;
  windows_->character_width = GetParam().character_width;
  auto started = start();
  ASSERT_FALSE(started.has_value());
  EXPECT_EQ(started.error().error, GetParam().error);
  if (started.error().thread) {
    EXPECT_TRUE(started.error().thread->wait_for_end(3s));
  }
  for (WindowHandle window = 1; window < 8; ++window) {
    EXPECT_FALSE(windows_->exists(window)) << window;
  }
  ASSERT_TRUE(wait_for_thread_end());
  EXPECT_EQ(events_now(), std::vector<IndicatorEvent>{});
  // The font, if one was made, is gone with the window.
  const std::vector<std::string> calls = windows_->calls();
  EXPECT_EQ(std::ranges::count(calls, "CreateFontIndirectW 1"),
            std::ranges::count(calls, "DeleteObject 1"));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, IndicatorStartFailure,
    ::testing::Values(StartFailureCase{"Thread", testing::FailingStep::kThread,
                                       CommandError::kIndicatorSpawnFailed},
                      StartFailureCase{"Module", testing::FailingStep::kModule,
                                       CommandError::kIndicatorStartFailed},
                      StartFailureCase{"Cursor", testing::FailingStep::kCursor,
                                       CommandError::kIndicatorStartFailed},
                      StartFailureCase{"Class", testing::FailingStep::kClass,
                                       CommandError::kIndicatorStartFailed},
                      StartFailureCase{"MainWindow", testing::FailingStep::kMainWindow,
                                       CommandError::kIndicatorStartFailed},
                      StartFailureCase{"Measure", testing::FailingStep::kMeasure,
                                       CommandError::kIndicatorStartFailed},
                      StartFailureCase{"Resize", testing::FailingStep::kResize,
                                       CommandError::kIndicatorStartFailed, 20},
                      StartFailureCase{"Control", testing::FailingStep::kControl,
                                       CommandError::kIndicatorStartFailed},
                      StartFailureCase{"HotKey", testing::FailingStep::kHotKey,
                                       CommandError::kIndicatorStartFailed},
                      StartFailureCase{"InputWatch", testing::FailingStep::kInputWatch,
                                       CommandError::kIndicatorStartFailed}),
    [](const auto& test) { return test.param.name; });

// The watch on low-level input ---------------------------------------------------

using os::LowLevelButton;
using os::LowLevelKind;

os::LowLevelInput key(std::uint32_t vk, bool down, bool injected) {
  return os::key_input(down ? LowLevelKind::kKeyPress : LowLevelKind::kKeyRelease, vk, injected);
}

os::LowLevelInput click(bool down, bool injected) {
  return os::mouse_input(down ? LowLevelKind::kButtonPress : LowLevelKind::kButtonRelease,
                         LowLevelButton::kLeft, {400, 200}, injected);
}

constexpr std::uint32_t kLeftControl = 0xA2;
constexpr std::uint32_t kLeftAlt = 0xA4;
constexpr std::uint32_t kLeftShift = 0xA0;
constexpr std::uint32_t kLeftWin = 0x5B;

TEST_F(IndicatorTest, WatchesInputOnlyWhileItsWindowExists) {
  ASSERT_TRUE(start().has_value());
  EXPECT_TRUE(windows_->watching());
  post(kCloseIndicator);
  ASSERT_TRUE(wait_for_thread_end());
  EXPECT_FALSE(windows_->watching());
}

// The local user's hands stop the session whatever the remote side holds.
TEST_F(IndicatorTest, PhysicalShortcutStopsWhateverTheRemoteSideHolds) {
  ASSERT_TRUE(start().has_value());
  send_input(key(kLeftWin, true, true));
  for (const std::uint32_t vk : {kLeftControl, kLeftAlt, kLeftShift, std::uint32_t{os::kVkF12}}) {
    send_input(key(vk, true, false));
  }
  std::vector<std::string> expected{"LowLevelInput dropped 0 123"};
  for (const std::string& line : closed()) {
    expected.push_back(line);
  }
  EXPECT_EQ(wait_for_new_calls(expected.size()), expected);
  ASSERT_TRUE(wait_for_thread_end());
  // The local user's presses also count as the local user being there.
  EXPECT_EQ(events_, (std::vector{IndicatorEvent::kLocalInput, IndicatorEvent::kStop}));
}

// Nothing injected stops the session: an injected F12 that would complete the
// combination never reaches the hot key, nor does the local user's Ctrl, Alt and
// Shift held with the remote side's F12.
TEST_F(IndicatorTest, InjectedShortcutIsDroppedAndStopsNothing) {
  ASSERT_TRUE(start().has_value());
  for (const std::uint32_t vk : {kLeftControl, kLeftAlt, kLeftShift, std::uint32_t{os::kVkF12}}) {
    send_input(key(vk, true, true));
  }
  send_input(key(os::kVkF12, false, true));
  post(kShowPauseState, 0);  // everything before it has been served
  const std::vector<std::string> expected{
      "LowLevelInput dropped 0 123", "LowLevelInput dropped 1 123",
      "SetWindowTextW " + std::to_string(pause_button_) + " Pause input",
      "SetWindowTextW " + std::to_string(status_label_) + " Remote input enabled"};
  EXPECT_EQ(wait_for_new_calls(expected.size()), expected);
  EXPECT_EQ(events_now(), std::vector<IndicatorEvent>{});
}

// The local user's input is told at once, then at most every interval.
TEST_F(IndicatorTest, TellsLocalInputAtMostEveryInterval) {
  ASSERT_TRUE(start().has_value());
  send_input(key('A', true, false));
  send_input(key('B', true, false));
  send_input(key('C', true, true));  // injected: never the local user
  post(kShowPauseState, 0);
  (void)wait_for_new_calls(2);
  EXPECT_EQ(events_now(), std::vector{IndicatorEvent::kLocalInput});

  clock_.advance(kLocalInputNoticeInterval);
  send_input(click(true, false));
  post(kShowPauseState, 0);
  (void)wait_for_new_calls(4);
  EXPECT_EQ(events_now(), (std::vector{IndicatorEvent::kLocalInput, IndicatorEvent::kLocalInput}));
}

// Injected clicks and keys aimed at the indicator are dropped, and so are their
// releases; the local user's own go through.
TEST_F(IndicatorTest, DropsInjectedInputAimedAtItself) {
  ASSERT_TRUE(start().has_value());
  windows_->set_window_at(main_);
  windows_->set_foreground(main_);
  send_input(click(true, true));
  send_input(click(false, true));
  send_input(key(' ', true, true));
  send_input(key(' ', false, true));
  send_input(click(true, false));
  send_input(click(false, false));
  post(kShowPauseState, 0);
  const std::vector<std::string> expected{
      "LowLevelInput dropped 2 1",
      "LowLevelInput dropped 3 1",
      "LowLevelInput dropped 0 32",
      "LowLevelInput dropped 1 32",
      "SetWindowTextW " + std::to_string(pause_button_) + " Pause input",
      "SetWindowTextW " + std::to_string(status_label_) + " Remote input enabled"};
  EXPECT_EQ(wait_for_new_calls(expected.size()), expected);
}

}  // namespace
}  // namespace ombrelin::session
