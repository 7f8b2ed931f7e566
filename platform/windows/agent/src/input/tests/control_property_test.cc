// Random runs of valid and invalid control messages, with injection failures,
// local pauses and the odd expired lease mixed in: every path that promises to
// release input leaves nothing held, and nothing reaches the adapter while input
// is paused.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "input/tests/control_harness.h"

namespace ombrelin::input {
namespace {

namespace control = native_protocol::control;
namespace message = testing::message;
using native_protocol::ControlMessage;
using session::CommandError;
using testing::ControlHarness;

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

bool reached_the_desktop(const std::vector<std::string>& journal) {
  return std::ranges::any_of(journal, [](const std::string& entry) {
    return entry.starts_with("move") || entry.starts_with("button") ||
           entry.starts_with("scroll") || entry.starts_with("key");
  });
}

bool promises_release(const ControlMessage& control, std::expected<void, CommandError> result) {
  if (!result) {
    return result.error() == CommandError::kInputRejected;
  }
  const auto* pause = std::get_if<control::PauseInput>(&control);
  return std::holds_alternative<control::ReleaseAll>(control) || (pause && pause->paused);
}

TEST(ControlPropertyTest, NoStopPathLeavesAnythingHeld) {
  Random random(0xC0FFEE);
  int messages = 0;
  for (int run = 0; run < 150; ++run) {
    ControlHarness harness;
    std::uint32_t seq = 0;
    for (int i = random.between(1, 40); i > 0; --i, ++messages) {
      harness.adapter.sends_before_failure.reset();
      if (random.chance(0.04)) {
        harness.adapter.sends_before_failure = random.between<std::size_t>(0, 3);
      }
      harness.monotonic.advance(std::chrono::milliseconds(random.between(0, 8)));
      if (random.chance(0.03) && harness.gate.phase() == session::GatePhase::kActive) {
        // The local user's pause or resume, as the session host applies it.
        harness.gate.set_paused(random.chance(0.5));
        if (harness.gate.paused()) {
          release_session_input(harness.adapter, harness.sequence);
        }
      }
      if (random.chance(0.002)) {
        harness.clock = session::UnixTime{0, ControlHarness::kLeaseS};
      }
      const ControlMessage control = random_message(random, seq);
      const bool paused_before = harness.gate.paused();
      harness.journal.clear();
      const auto result = harness.send(control);

      ASSERT_FALSE(paused_before && reached_the_desktop(harness.journal)) << run << "/" << i;
      if (promises_release(control, result)) {
        ASSERT_TRUE(harness.adapter.holds_nothing()) << run << "/" << i;
        ASSERT_EQ(harness.sequence.buttons, 0) << run << "/" << i;
      }
    }

    // Each run ends on one of the ways out, past the rate limit.
    harness.monotonic.advance(std::chrono::seconds(1));
    if (random.chance(0.2)) {
      harness.adapter.sends_before_failure = 0;
    }
    switch (random.between(0, 3)) {
      case 0:
        static_cast<void>(harness.send(message::stop(++seq)));
        break;
      case 1:
        ASSERT_TRUE(harness.send(message::release_all(++seq)));
        break;
      case 2:
        static_cast<void>(harness.send(message::pause(++seq, true)));
        break;
      default:
        harness.stop_session();
    }
    EXPECT_TRUE(harness.adapter.holds_nothing()) << "run " << run;
  }
  EXPECT_GT(messages, 2000);
}

}  // namespace
}  // namespace ombrelin::input
