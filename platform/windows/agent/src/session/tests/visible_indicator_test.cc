#include "session/visible_indicator.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <expected>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "os/sim/window_system_sim.h"

namespace ombrelin::session {
namespace {

using namespace std::chrono_literals;
using os::WindowHandle;

constexpr std::uint32_t kWmUser = 0x0400;

// The handle a journal line names, 0 when it names none.
WindowHandle window_of(const std::string& line) {
  constexpr std::string_view kKey = "\"window\":";
  const std::size_t at = line.find(kKey);
  return at == std::string::npos
             ? 0
             : static_cast<WindowHandle>(std::stoull(line.substr(at + kKey.size())));
}

WindowHandle window_with(const std::vector<std::string>& lines, std::string_view part) {
  const auto found = std::ranges::find_if(
      lines, [part](const std::string& line) { return line.find(part) != std::string::npos; });
  return found == lines.end() ? 0 : window_of(*found);
}

// The simulated window system with a journal file that the test reads back.
// Kept on the heap so that it can be left behind if an indicator thread never
// ends, rather than pulled from under it.
struct SimulatedDesktop {
  explicit SimulatedDesktop(os::sim::DesktopDescription desktop, const std::string& journal_path)
      : description(std::move(desktop)),
        journal(os::sim::UniqueFd(::open(journal_path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC))),
        windows(os::sim::make_simulated_window_system(description, journal, "")) {}

  os::sim::DesktopDescription description;
  os::sim::Journal journal;
  std::unique_ptr<os::WindowSystem> windows;
};

class IndicatorTest : public ::testing::Test {
 protected:
  IndicatorTest() {
    const int fd = ::mkstemp(journal_path_.data());
    EXPECT_GE(fd, 0);
    ::close(fd);
  }

  ~IndicatorTest() override {
    if (main_ != 0) {
      desktop_->windows->post_message(main_, kCloseIndicator, 0, 0);
    }
    if (desktop_ && !wait_for_thread_end()) {
      ADD_FAILURE() << "the indicator thread did not end";
      (void)desktop_.release();
    }
    ::unlink(journal_path_.c_str());
  }

  // Starts the indicator; the test keeps no sender of its own, so the channel
  // reports disconnection once the indicator thread has ended.
  std::expected<RunningIndicator, IndicatorStartFailure> start(
      os::sim::DesktopDescription desktop = os::sim::DesktopDescription::standard(),
      std::chrono::milliseconds limit = kIndicatorStartLimit) {
    desktop_ = std::make_unique<SimulatedDesktop>(std::move(desktop), journal_path_);
    auto [sender, receiver] = Channel<IndicatorEvent>::create();
    receiver_.emplace(std::move(receiver));
    auto started =
        start_visible_indicator(*desktop_->windows, "Field Support", "VIEW_SCREEN, SEND_POINTER",
                                1'700'000'000, std::move(sender), limit);
    if (started) {
      main_ = started->window;
      const std::vector<std::string> lines = journal_lines();
      EXPECT_EQ(lines.size(), 6u);  // five windows and the shortcut
      status_label_ = window_with(lines, "\"text\":\"Remote input enabled\"");
      pause_button_ = window_with(lines, "\"id\":1001,");
      EXPECT_NE(status_label_, 0u);
      EXPECT_NE(pause_button_, 0u);
    }
    return started;
  }

  std::vector<std::string> journal_lines() const {
    std::vector<std::string> lines;
    std::ifstream in(journal_path_);
    for (std::string line; std::getline(in, line);) {
      lines.push_back(line);
    }
    return lines;
  }

  // What the indicator did after its start (the test's own posts left out), once
  // that is at least `count` calls.
  std::vector<std::string> wait_for_new_lines(std::size_t count) const {
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (true) {
      std::vector<std::string> lines = journal_lines();
      std::erase_if(lines, [](const std::string& line) {
        return line.starts_with("{\"call\":\"PostMessageW\"");
      });
      if (lines.size() >= 6 + count || std::chrono::steady_clock::now() >= deadline) {
        return {lines.begin() + std::min<std::ptrdiff_t>(6, std::ssize(lines)), lines.end()};
      }
      std::this_thread::sleep_for(5ms);
    }
  }

  // Every event sent until the indicator thread ended; false if it did not end.
  bool wait_for_thread_end() {
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    while (std::chrono::steady_clock::now() < deadline) {
      std::optional<IndicatorEvent> event;
      switch (receiver_->receive_for(50ms, event)) {
        case Channel<IndicatorEvent>::Wait::kReceived:
          events_.push_back(*event);
          break;
        case Channel<IndicatorEvent>::Wait::kDisconnected:
          main_ = 0;
          return true;
        case Channel<IndicatorEvent>::Wait::kTimedOut:
          break;
      }
    }
    return false;
  }

  std::vector<IndicatorEvent> events_now() {
    while (const auto event = receiver_->try_receive()) {
      events_.push_back(*event);
    }
    return events_;
  }

  void post(std::uint32_t message, std::uintptr_t wparam = 0) {
    ASSERT_TRUE(desktop_->windows->post_message(main_, message, wparam, 0));
  }

  std::string text_line(WindowHandle window, std::string_view text) const {
    return "{\"call\":\"SetWindowTextW\",\"window\":" + std::to_string(window) + ",\"text\":\"" +
           std::string(text) + "\"}";
  }
  std::vector<std::string> shown(bool paused) const {
    return paused ? std::vector{text_line(pause_button_, "Resume input"),
                                text_line(status_label_, "Remote input PAUSED")}
                  : std::vector{text_line(pause_button_, "Pause input"),
                                text_line(status_label_, "Remote input enabled")};
  }
  std::vector<std::string> closed() const {
    const std::string window = std::to_string(main_);
    return {"{\"call\":\"UnregisterHotKey\",\"window\":" + window + ",\"id\":1}",
            "{\"call\":\"DestroyWindow\",\"window\":" + window + "}"};
  }

  std::string journal_path_ = ::testing::TempDir() + "indicator_test_XXXXXX";
  std::unique_ptr<SimulatedDesktop> desktop_;
  std::optional<IndicatorReceiver> receiver_;
  std::vector<IndicatorEvent> events_;
  WindowHandle main_ = 0;
  WindowHandle status_label_ = 0;
  WindowHandle pause_button_ = 0;
};

// The window procedure ------------------------------------------------------------

enum class Effect : std::uint8_t { kNothing, kShowPaused, kShowEnabled, kPauseEvent, kClose };

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
      default:
        break;
    }
    // A message that everything before it has been handled: show the enabled state.
    post(kShowPauseState, 0);
    for (const std::string& line : shown(false)) {
      expected.push_back(line);
    }
  }
  EXPECT_EQ(wait_for_new_lines(expected.size()), expected);
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
        MessageCase{"CloseBox", os::kWmClose, 0, Effect::kClose, IndicatorEvent::kStop},
        MessageCase{"CloseIndicator", kCloseIndicator, 0, Effect::kClose, std::nullopt},
        MessageCase{"ShowPaused", kShowPauseState, 1, Effect::kShowPaused, std::nullopt},
        MessageCase{"ShowPausedAnyNonZero", kShowPauseState, 7, Effect::kShowPaused, std::nullopt},
        MessageCase{"ShowEnabled", kShowPauseState, 0, Effect::kShowEnabled, std::nullopt},
        MessageCase{"ButtonNotification", os::kWmCommand, 1u << 16 | kStopButtonId,
                    Effect::kNothing, std::nullopt},
        MessageCase{"OtherControl", os::kWmCommand, 1003, Effect::kNothing, std::nullopt},
        MessageCase{"OtherHotKey", os::kWmHotKey, 2, Effect::kNothing, std::nullopt},
        MessageCase{"OtherMessage", kWmUser, kStopButtonId, Effect::kNothing, std::nullopt},
        MessageCase{"LaterAppMessage", os::kWmApp + 3, 1, Effect::kNothing, std::nullopt}),
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
  EXPECT_EQ(wait_for_new_lines(expected.size()), expected);
  EXPECT_EQ(events_now(), (std::vector{IndicatorEvent::kPause, IndicatorEvent::kResume,
                                       IndicatorEvent::kResume}));
}

// Start-up -----------------------------------------------------------------------

// An indicator that reports after the starter gave up belongs to no session: it
// closes its own window and never tells the main loop anything.
TEST_F(IndicatorTest, LateIndicatorClosesQuietly) {
  os::sim::DesktopDescription desktop = os::sim::DesktopDescription::standard();
  desktop.indicator_start_delay_ms = 150;
  auto started = start(desktop, 10ms);
  ASSERT_FALSE(started.has_value());
  EXPECT_EQ(started.error().error, CommandError::kIndicatorStartFailed);
  // The host can still wait for the late thread before it ends.
  ASSERT_TRUE(started.error().thread.has_value());

  ASSERT_TRUE(wait_for_thread_end());
  EXPECT_TRUE(started.error().thread->wait_for_end(3s));
  const std::vector<std::string> lines = journal_lines();
  ASSERT_EQ(lines.size(), 8u);
  main_ = window_of(lines[0]);
  ASSERT_NE(main_, 0u);
  EXPECT_EQ(lines[5], "{\"call\":\"RegisterHotKey\",\"window\":" + std::to_string(main_) +
                          ",\"id\":1,\"modifiers\":16391,\"vk\":123,\"result\":true}");
  EXPECT_EQ(std::vector(lines.begin() + 6, lines.end()), closed());
  main_ = 0;
  EXPECT_EQ(events_now(), std::vector<IndicatorEvent>{});
}

// Formatting --------------------------------------------------------------------

TEST(IndicatorLabel, ShowsRequesterGrantsAndRawExpiry) {
  EXPECT_EQ(format_indicator_label("Field Support", "VIEW_SCREEN, SEND_POINTER", 1'700'000'000),
            "ACTIVE \u2014 requester: Field Support\r\n"
            "Grants: VIEW_SCREEN, SEND_POINTER\r\n"
            "Expires: 1700000000 UTC\r\n"
            "Emergency Stop: Ctrl+Alt+Shift+F12");
  EXPECT_EQ(
      format_indicator_label("  Ann ", "VIEW_SCREEN", std::numeric_limits<std::uint64_t>::max()),
      "ACTIVE \u2014 requester:   Ann \r\n"
      "Grants: VIEW_SCREEN\r\n"
      "Expires: 18446744073709551615 UTC\r\n"
      "Emergency Stop: Ctrl+Alt+Shift+F12");
}

}  // namespace
}  // namespace ombrelin::session
