#include "session/session_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "input/tests/control_messages.h"
#include "input/tests/desktop_model.h"
#include "session/consent_prompt.h"
#include "session/tests/fake_desktop.h"
#include "session/visible_indicator.h"

namespace ombrelin::session {
namespace {

namespace message = input::testing::message;
using input::ControlRefusal;
using testing::FakeWindowSystem;
using testing::grant_of;
using testing::kNowS;
using testing::kSendKeyboard;
using testing::kSendPointer;
using testing::kSessionIdText;
using testing::kViewScreen;

constexpr std::uint16_t kVkA = 0x41;

class SessionHostTest : public ::testing::Test {
 protected:
  std::expected<void, CommandError> start(const protocol::SessionGrant& grant) {
    return sessions_.start_or_refresh_session(grant, kNowS);
  }
  std::expected<void, ControlRefusal> control(const native_protocol::ControlMessage& message) {
    return sessions_.handle_control(kSessionIdText, message);
  }
  // The pause states posted to the indicator, in order.
  std::vector<std::string> pause_posts() const {
    std::vector<std::string> posts;
    for (const std::string& call : desktop_.windows.calls()) {
      if (call.starts_with("PostMessageW") &&
          call.find(" " + std::to_string(kShowPauseState) + " ") != std::string::npos) {
        posts.push_back(call.substr(call.rfind(' ') + 1));
      }
    }
    return posts;
  }
  bool desktop_holds_nothing() const {
    return input::testing::pressed_on_desktop(desktop_.input.sent()).empty();
  }

  testing::FakeDesktop desktop_;
  SessionHost sessions_{desktop_.services()};
};

TEST_F(SessionHostTest, ANewSessionAsksTheLocalUserThenShowsTheIndicator) {
  ASSERT_TRUE(start(grant_of({kViewScreen, kSendPointer})));
  const std::vector<std::string> calls = desktop_.windows.calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_TRUE(calls.front().starts_with("MessageBoxW " + std::string(kConsentCaption) + " " +
                                        std::to_string(kConsentStyle) + " 6\n"))
      << calls.front();
  EXPECT_NE(calls.front().find("Permissions: VIEW_SCREEN, SEND_POINTER\r\n"), std::string::npos);
  ASSERT_NE(sessions_.session(), nullptr);
  EXPECT_EQ(sessions_.session()->session_id_text, kSessionIdText);
  EXPECT_NE(desktop_.windows.window_with_text("Remote input enabled"), 0u);
}

TEST_F(SessionHostTest, ANoLeavesNothingBehind) {
  desktop_.windows.message_box_answers = {FakeWindowSystem::kIdNo};
  EXPECT_EQ(start(grant_of({kSendKeyboard})), std::unexpected(CommandError::kLocalUserRejected));
  EXPECT_EQ(sessions_.session(), nullptr);
  EXPECT_EQ(desktop_.windows.calls().size(), 1U);  // the box, no window
}

// An indicator that never becomes visible fails the start closed: no session,
// and its window goes away.
TEST_F(SessionHostTest, AnIndicatorThatStaysHiddenStartsNoSession) {
  desktop_.windows.visible_from_show = std::nullopt;
  EXPECT_EQ(start(grant_of({kSendPointer, kSendKeyboard})),
            std::unexpected(CommandError::kIndicatorStartFailed));
  EXPECT_EQ(sessions_.session(), nullptr);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (desktop_.windows.exists(1) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_FALSE(desktop_.windows.exists(1));
  EXPECT_FALSE(std::ranges::any_of(desktop_.windows.calls(), [](const std::string& call) {
    return call.starts_with("RegisterHotKey");
  }));
}

TEST_F(SessionHostTest, ARefreshAsksNobodyAndRefusesAReusedTicketOrAnotherGrant) {
  ASSERT_TRUE(start(grant_of({kSendPointer}, 1)));
  ASSERT_TRUE(control(message::pointer(7)));
  const std::size_t calls = desktop_.windows.calls().size();
  EXPECT_TRUE(start(grant_of({kSendPointer}, 2)));
  // The new grant starts with an empty replay window; the sequence state stays.
  EXPECT_FALSE(sessions_.session()->control.replay_window.any_accepted);
  EXPECT_EQ(sessions_.session()->control.sequence.last_seq, 7U);
  EXPECT_EQ(start(grant_of({kSendPointer}, 2)),
            std::unexpected(CommandError::kRefreshTicketReused));
  EXPECT_EQ(start(grant_of({kSendPointer, kSendKeyboard}, 3)),
            std::unexpected(CommandError::kDifferentRequesterOrGrant));
  EXPECT_EQ(desktop_.windows.calls().size(), calls);
}

TEST_F(SessionHostTest, ARefusedEventReleasesThenPausesThenTellsTheIndicator) {
  ASSERT_TRUE(start(grant_of({kSendPointer, kSendKeyboard})));
  ASSERT_TRUE(control(message::key(1, "KeyA", true, 2)));
  ASSERT_TRUE(control(message::pointer(2, 1)));
  desktop_.input.accept_calls(0);
  EXPECT_EQ(control(message::pointer(3, 5)), std::unexpected(ControlRefusal::kEventRejected));
  EXPECT_TRUE(sessions_.session()->gate.paused());
  EXPECT_EQ(pause_posts(), std::vector<std::string>{"1"});
  EXPECT_EQ(sessions_.session()->control.sequence.buttons, 0);
  // Windows refused the releases too; they go out once it takes input again.
  EXPECT_FALSE(desktop_holds_nothing());
  desktop_.input.accept_calls(std::nullopt);
  EXPECT_TRUE(control(message::release_all(4)));
  EXPECT_TRUE(desktop_holds_nothing());
}

TEST_F(SessionHostTest, AnExpiredLeaseEndsTheGateAndReleases) {
  ASSERT_TRUE(start(grant_of({kSendKeyboard})));
  ASSERT_TRUE(control(message::key(1, "KeyA", true)));
  desktop_.wall.set_seconds(testing::kLeaseS);
  EXPECT_EQ(control(message::scroll(2, 0, 1)), std::unexpected(ControlRefusal::kLeaseExpired));
  EXPECT_EQ(sessions_.session()->gate.phase(), GatePhase::kEnded);
  EXPECT_TRUE(desktop_holds_nothing());
  EXPECT_EQ(pause_posts(), std::vector<std::string>{"1"});
}

TEST_F(SessionHostTest, APeerStopEndsTheSessionAndClosesTheIndicator) {
  ASSERT_TRUE(start(grant_of({kSendKeyboard})));
  ASSERT_TRUE(control(message::key(1, "KeyA", true)));
  EXPECT_TRUE(control(message::stop(2)));
  EXPECT_EQ(sessions_.session(), nullptr);
  EXPECT_TRUE(desktop_holds_nothing());
  const std::vector<std::string> calls = desktop_.windows.calls();
  EXPECT_TRUE(std::ranges::any_of(calls, [](const std::string& call) {
    return call.starts_with("PostMessageW") &&
           call.find(" " + std::to_string(kCloseIndicator) + " ") != std::string::npos;
  }));
}

TEST_F(SessionHostTest, TheLocalUsersPauseReleasesAndShowsAtOnce) {
  ASSERT_TRUE(start(grant_of({kSendKeyboard})));
  ASSERT_TRUE(control(message::key(1, "KeyA", true)));
  sessions_.on_indicator_event({1, IndicatorEvent::kPause});
  EXPECT_TRUE(sessions_.session()->gate.paused());
  EXPECT_TRUE(desktop_holds_nothing());
  sessions_.on_indicator_event({1, IndicatorEvent::kResume});
  EXPECT_FALSE(sessions_.session()->gate.paused());
  EXPECT_EQ(pause_posts(), (std::vector<std::string>{"1", "0"}));
}

// The local user's pause holds until the local user lifts it: the page and the
// peer can pause and resume their own pauses, and their resume succeeds but
// changes nothing while the local user's pause holds. The indicator always
// shows whether input is paused.
TEST_F(SessionHostTest, ALocalPauseHoldsUntilTheLocalUserLiftsIt) {
  ASSERT_TRUE(start(grant_of({kSendPointer})));
  sessions_.on_indicator_event({1, IndicatorEvent::kPause});
  EXPECT_TRUE(control(message::pause(1, false)));
  EXPECT_TRUE(sessions_.set_session_paused(std::nullopt, false));
  EXPECT_TRUE(sessions_.set_session_paused(kSessionIdText, false));
  EXPECT_TRUE(sessions_.session()->gate.paused());
  EXPECT_EQ(control(message::pointer(2)), std::unexpected(ControlRefusal::kEventRejected));
  EXPECT_EQ(pause_posts(), (std::vector<std::string>{"1", "1", "1", "1", "1"}));
  // The remote side's own pause and resume still work beside it.
  EXPECT_TRUE(control(message::pause(3, true)));
  sessions_.on_indicator_event({1, IndicatorEvent::kResume});
  EXPECT_TRUE(sessions_.session()->gate.paused());
  EXPECT_TRUE(control(message::pause(4, false)));
  EXPECT_FALSE(sessions_.session()->gate.paused());
  EXPECT_EQ(pause_posts().back(), "0");
  EXPECT_TRUE(control(message::pointer(5)));
}

// A peer pause is shown on the indicator too.
TEST_F(SessionHostTest, APeerPauseIsShown) {
  ASSERT_TRUE(start(grant_of({kSendPointer})));
  EXPECT_TRUE(control(message::pause(1, true)));
  EXPECT_EQ(pause_posts(), std::vector<std::string>{"1"});
}

// A Stop or Pause still queued from the indicator of a session that has ended
// changes nothing in the session started after it.
TEST_F(SessionHostTest, EventsOfAnEarlierSessionsIndicatorChangeNothing) {
  ASSERT_TRUE(start(grant_of({kSendKeyboard}, 1)));
  sessions_.stop_session();
  ASSERT_TRUE(start(grant_of({kSendKeyboard}, 2)));
  sessions_.on_indicator_event({1, IndicatorEvent::kPause});
  sessions_.on_indicator_event({1, IndicatorEvent::kStop});
  ASSERT_NE(sessions_.session(), nullptr);
  EXPECT_FALSE(sessions_.session()->gate.paused());
  sessions_.on_indicator_event({2, IndicatorEvent::kStop});
  EXPECT_EQ(sessions_.session(), nullptr);
}

// A stop while Windows refuses input keeps what is owed, and lets go of it once
// Windows takes input again.
TEST_F(SessionHostTest, ReleasesRefusedAtAStopAreRetriedLater) {
  ASSERT_TRUE(start(grant_of({kSendKeyboard})));
  ASSERT_TRUE(control(message::key(1, "KeyA", true)));
  desktop_.input.accept_calls(0);
  sessions_.stop_session();
  EXPECT_EQ(input::testing::pressed_on_desktop(desktop_.input.sent()).keys,
            std::set<std::uint16_t>{kVkA});
  sessions_.retry_refused_releases();
  desktop_.input.accept_calls(std::nullopt);
  sessions_.retry_refused_releases();
  EXPECT_TRUE(desktop_holds_nothing());
  desktop_.input.clear_sent();
  sessions_.retry_refused_releases();
  EXPECT_TRUE(desktop_.input.sent().empty());
}

// A change of the display configuration, as the indicator window hears of it.
struct DisplayChangeCase {
  std::string name;
  // What the displays are after the change.
  std::function<void(display::test_support::FakeDisplayApi&)> change;
  // Where a move to the centre lands afterwards; none when the session stops.
  std::optional<std::pair<std::int32_t, std::int32_t>> centre;
};

void PrintTo(const DisplayChangeCase& test, std::ostream* out) { *out << test.name; }

class DisplayChangeTest : public SessionHostTest,
                          public ::testing::WithParamInterface<DisplayChangeCase> {};

display::test_support::FakeMonitor other_display(bool primary) {
  display::test_support::FakeMonitor other;
  other.device = std::string("\\\\.\\DISPLAY2");
  other.placement = {1920, 0, primary ? os::kMonitorFlagPrimary : 0};
  return other;
}

TEST_P(DisplayChangeTest, PausesReleasesThenKeepsTheApprovedDisplayOrStops) {
  ASSERT_TRUE(start(grant_of({kSendPointer, kSendKeyboard})));
  ASSERT_TRUE(control(message::key(1, "KeyA", true, 8)));
  ASSERT_TRUE(control(message::pointer(2, 1)));
  GetParam().change(desktop_.displays);
  // The screen metrics follow the primary display, as on Windows.
  for (const auto& monitor : desktop_.displays.monitors) {
    if (monitor.placement.flags == os::kMonitorFlagPrimary) {
      desktop_.input.set_screen(static_cast<std::int32_t>(monitor.mode.width),
                                static_cast<std::int32_t>(monitor.mode.height));
    }
  }
  sessions_.on_indicator_event({1, IndicatorEvent::kDisplayChanged});
  EXPECT_TRUE(desktop_holds_nothing());

  if (!GetParam().centre) {
    EXPECT_EQ(sessions_.session(), nullptr);
    EXPECT_EQ(control(message::pointer(3)), std::unexpected(ControlRefusal::kNoSession));
    return;
  }
  // Paused as the remote side would pause, and shown so.
  ASSERT_NE(sessions_.session(), nullptr);
  EXPECT_TRUE(sessions_.session()->gate.paused_by(PauseSource::kRemoteSide));
  EXPECT_FALSE(sessions_.session()->gate.paused_by(PauseSource::kLocalUser));
  EXPECT_EQ(pause_posts(), std::vector<std::string>{"1"});
  EXPECT_EQ(control(message::pointer(3)), std::unexpected(ControlRefusal::kEventRejected));
  // The page resumes; moves land on the same display's new pixels.
  ASSERT_TRUE(sessions_.set_session_paused(std::nullopt, false));
  desktop_.input.clear_sent();
  ASSERT_TRUE(control(message::pointer(4)));
  ASSERT_TRUE(control(message::pointer(5, 0, 1, 1)));
  EXPECT_EQ(
      desktop_.input.sent(),
      (std::vector{input::testing::mouse(GetParam().centre->first, GetParam().centre->second, 0,
                                         os::kMouseMove | os::kMouseAbsolute),
                   input::testing::mouse(65535, 65535, 0, os::kMouseMove | os::kMouseAbsolute)}));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, DisplayChangeTest,
    ::testing::Values(
        DisplayChangeCase{"NewResolution",
                          [](auto& displays) {
                            displays.monitors[0].mode = {1280, 1024, 60};
                          },
                          std::pair{32793, 32800}},
        DisplayChangeCase{"Portrait",
                          [](auto& displays) {
                            displays.monitors[0].mode = {1080, 1920, 60};
                          },
                          std::pair{32798, 32785}},
        DisplayChangeCase{"AnotherDisplayAddedBeforeIt",
                          [](auto& displays) {
                            displays.monitors.insert(displays.monitors.begin(),
                                                     other_display(false));
                          },
                          std::pair{32785, 32798}},
        DisplayChangeCase{"PrimaryMovedToAnotherDisplay",
                          [](auto& displays) {
                            displays.monitors[0].placement.flags = 0;
                            displays.monitors.push_back(other_display(true));
                          },
                          std::nullopt},
        DisplayChangeCase{"DisplayGone",
                          [](auto& displays) { displays.monitors = {other_display(true)}; },
                          std::nullopt},
        DisplayChangeCase{"NoPrimaryLeft",
                          [](auto& displays) { displays.monitors[0].placement.flags = 0; },
                          std::nullopt},
        DisplayChangeCase{
            "EnumerationFails",
            [](auto& displays) { displays.fails = display::test_support::Call::kEnumerate; },
            std::nullopt}),
    [](const auto& test) { return test.param.name; });

// A display change while the local user has paused adds the remote side's pause:
// both must be lifted, each by its own side.
TEST_F(SessionHostTest, ADisplayChangeDuringALocalPauseNeedsBothResumes) {
  ASSERT_TRUE(start(grant_of({kSendPointer})));
  sessions_.on_indicator_event({1, IndicatorEvent::kPause});
  sessions_.on_indicator_event({1, IndicatorEvent::kDisplayChanged});
  sessions_.on_indicator_event({1, IndicatorEvent::kResume});
  EXPECT_TRUE(sessions_.session()->gate.paused());
  EXPECT_TRUE(control(message::pause(1, false)));
  EXPECT_FALSE(sessions_.session()->gate.paused());
  EXPECT_EQ(pause_posts(), (std::vector<std::string>{"1", "1", "1", "0"}));
}

TEST_F(SessionHostTest, EveryCommandNamingASessionUsesTheSameCheck) {
  EXPECT_EQ(sessions_.match_session(kSessionIdText), input::SessionMatch::kNoSession);
  ASSERT_TRUE(start(grant_of({kSendKeyboard})));
  EXPECT_EQ(sessions_.match_session(kSessionIdText), input::SessionMatch::kActiveSession);
  EXPECT_EQ(sessions_.match_session("01020304-0506-4708-890A-0b0c0d0e0f10"),
            input::SessionMatch::kOtherSession);
  EXPECT_EQ(sessions_.set_session_paused("01020304-0506-4708-890A-0b0c0d0e0f10", true),
            std::unexpected(CommandError::kPauseSessionMismatch));
  EXPECT_EQ(sessions_.handle_control("x", message::pointer(1)),
            std::unexpected(ControlRefusal::kSessionMismatch));
}

}  // namespace
}  // namespace ombrelin::session
