// Random runs of valid and invalid control messages through the session, with
// injection failures, local pauses and the odd expired lease mixed in: every
// path that promises to release input leaves nothing held on the desktop once
// Windows takes the releases, nothing is pressed or moved while input is paused,
// and however a run ends, nothing stays held.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "input/tests/control_messages.h"
#include "input/tests/desktop_model.h"
#include "session/session_host.h"
#include "session/tests/fake_desktop.h"

namespace ombrelin::session {
namespace {

namespace control = native_protocol::control;
namespace message = input::testing::message;
using input::ControlRefusal;
using native_protocol::ControlMessage;

constexpr const char* kCodes[] = {"KeyA",     "Digit0",   "F12",          "ArrowLeft", "ShiftLeft",
                                  "AltRight", "MetaLeft", "ControlRight", "keya",      ""};

class Random {
 public:
  explicit Random(std::uint32_t seed) : engine_(seed) {}
  bool chance(double probability) { return std::bernoulli_distribution(probability)(engine_); }
  template <typename T = int>
  T between(std::int64_t low, std::int64_t high) {
    return static_cast<T>(std::uniform_int_distribution<std::int64_t>(low, high)(engine_));
  }
  float coordinate() {
    return chance(0.05) ? std::nanf("")
                        : std::uniform_real_distribution<float>(0.0F, 1.05F)(engine_);
  }

 private:
  std::mt19937 engine_;
};

// Mostly the next seq and v 1; sometimes a stale seq or a wrong version.
ControlMessage random_message(Random& random, std::uint32_t& seq) {
  const std::uint32_t s = random.chance(0.05) ? seq : ++seq;
  ControlMessage out = message::release_all(s);
  switch (random.between(0, 8)) {
    case 0:
    case 1:
    case 2:
      out = message::pointer(s, random.between<std::uint8_t>(0, 33), random.coordinate(),
                             random.coordinate());
      break;
    case 3:
      out = message::scroll(s, random.between(-12100, 12100), random.between(-3, 3));
      break;
    case 4:
    case 5:
    case 6:
      out = message::key(s, kCodes[random.between<std::size_t>(0, std::ssize(kCodes) - 1)],
                         random.chance(0.5), random.between<std::uint8_t>(0, 16));
      break;
    case 7:
      out = message::pause(s, random.chance(0.5));
      break;
  }
  if (random.chance(0.03)) {
    std::visit([](auto& variant) { variant.v = 2; }, out);
  }
  return out;
}

// A record that presses something or moves the pointer (releases are always allowed).
bool acts_on_the_desktop(const os::InputRecord& record) {
  if (const auto* key = std::get_if<os::KeyboardRecord>(&record)) {
    return (key->flags & os::kKeyUp) == 0;
  }
  const auto& mouse = std::get<os::MouseRecord>(record);
  constexpr std::uint32_t kActing = os::kMouseMove | os::kMouseLeftDown | os::kMouseRightDown |
                                    os::kMouseMiddleDown | os::kMouseXDown | os::kMouseWheel |
                                    os::kMouseHorizontalWheel;
  return (mouse.flags & kActing) != 0;
}

bool promises_release(const ControlMessage& control,
                      const std::expected<void, ControlRefusal>& result) {
  if (!result) {
    return result.error() == ControlRefusal::kEventRejected ||
           result.error() == ControlRefusal::kLeaseExpired;
  }
  const auto* pause = std::get_if<control::PauseInput>(&control);
  return std::holds_alternative<control::ReleaseAll>(control) || (pause && pause->paused);
}

TEST(ControlPropertyTest, NoStopPathLeavesAnythingHeld) {
  Random random(0xC0FFEE);
  int messages = 0;
  for (int run = 0; run < 120; ++run) {
    testing::FakeDesktop desktop;
    SessionHost sessions(desktop.services());
    ASSERT_TRUE(sessions.start_or_refresh_session(
        testing::grant_of({testing::kSendPointer, testing::kSendKeyboard}), testing::kNowS));
    std::uint32_t seq = 0;
    bool refused_sends = false;
    for (int i = random.between(1, 40); i > 0 && sessions.session() != nullptr; --i, ++messages) {
      desktop.input.accept_calls(std::nullopt);
      refused_sends = random.chance(0.04);
      if (refused_sends) {
        desktop.input.accept_calls(random.between(0, 3));
      }
      desktop.monotonic.advance(std::chrono::milliseconds(random.between(0, 8)));
      if (random.chance(0.03)) {
        sessions.on_indicator_event(
            {1, random.chance(0.5) ? IndicatorEvent::kPause : IndicatorEvent::kResume});
      }
      if (random.chance(0.002)) {
        desktop.wall.set_seconds(testing::kLeaseS);
      }
      const ControlMessage control = random_message(random, seq);
      const bool paused_before = sessions.session()->gate.paused();
      const std::size_t sent_before = desktop.input.sent().size();
      const auto result = sessions.handle_control(testing::kSessionIdText, control);

      const auto sent = std::span(desktop.input.sent()).subspan(sent_before);
      ASSERT_FALSE(paused_before && std::ranges::any_of(sent, acts_on_the_desktop))
          << run << "/" << i;
      if (!refused_sends && promises_release(control, result)) {
        ASSERT_TRUE(input::testing::pressed_on_desktop(desktop.input.sent()).empty())
            << run << "/" << i;
      }
    }

    // Each run ends on one of the ways out, past the rate limit, once Windows
    // takes input again: whatever it refused before is released then.
    desktop.monotonic.advance(std::chrono::seconds(1));
    desktop.input.accept_calls(std::nullopt);
    switch (random.between(0, 3)) {
      case 0:
        static_cast<void>(sessions.handle_control(testing::kSessionIdText, message::stop(++seq)));
        break;
      case 1:
        static_cast<void>(
            sessions.handle_control(testing::kSessionIdText, message::release_all(++seq)));
        break;
      case 2:
        static_cast<void>(
            sessions.handle_control(testing::kSessionIdText, message::pause(++seq, true)));
        break;
      default:
        sessions.stop_session();
    }
    sessions.retry_refused_releases();
    EXPECT_TRUE(input::testing::pressed_on_desktop(desktop.input.sent()).empty()) << "run " << run;
  }
  EXPECT_GT(messages, 1500);
}

}  // namespace
}  // namespace ombrelin::session
