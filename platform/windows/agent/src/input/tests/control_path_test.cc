#include "input/control_path.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "input/control_serialization.h"
#include "input/tests/control_harness.h"
#include "input/tests/recording_adapter.h"

namespace ombrelin::input {
namespace {

namespace message = testing::message;
using native_protocol::ControlMessage;
using testing::ControlHarness;
using testing::RecordingAdapter;

using Calls = std::vector<std::string>;
using Outcome = std::expected<ControlEffect, ControlRefusal>;

constexpr Outcome refused(ControlRefusal refusal) { return std::unexpected(refusal); }

std::string serialized(const ControlMessage& control) {
  return serialize_control_message(control).value_or("<none>");
}

TEST(ControlSerializationTest, FixedMemberOrderAndShortestFloats) {
  EXPECT_EQ(serialized(message::pointer(7, 5, 0.1F, 1.0F)),
            R"({"type":"pointer","v":1,"seq":7,"x":0.1,"y":1,"buttons":5})");
  EXPECT_EQ(serialized(message::scroll(4294967295U, -12000, 3)),
            R"({"type":"scroll","v":1,"seq":4294967295,"horizontal":-12000,"vertical":3})");
  EXPECT_EQ(serialized(message::key(2, "a\"\\\n\x01\xc3\xa9", false, 15)),
            R"({"type":"key-transition","v":1,"seq":2,"code":"a\"\\\n\u0001é","down":false,)"
            R"("modifiers":15})");
  EXPECT_EQ(serialized(message::pause(0, true)),
            R"({"type":"pause-input","v":1,"seq":0,"paused":true})");
  EXPECT_EQ(serialized(message::release_all(1)), R"({"type":"release-all","v":1,"seq":1})");
  EXPECT_EQ(serialized(native_protocol::control::Stop{2, 3}), R"({"type":"stop","v":2,"seq":3})");
}

TEST(ControlSerializationTest, AnInfiniteCoordinateIsWrittenAsANumberBeyondEveryFloat) {
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  EXPECT_EQ(serialized(message::pointer(1, 0, kInfinity, -kInfinity)),
            R"({"type":"pointer","v":1,"seq":1,"x":1e39,"y":-1e39,"buttons":0})");
  EXPECT_EQ(serialized(message::pointer(1, 0, std::nanf(""))), "<none>");
}

TEST(ControlSerializationTest, CoordinatesReadBackAsTheSameFloat) {
  for (const float x : {1e-7F, 0.33333334F, std::nextafter(1.0F, 0.0F), -0.0F, 1e-45F}) {
    const std::string text = serialized(message::pointer(0, 0, x));
    const std::size_t start = text.find("\"x\":") + 4;
    float back = 2;
    std::from_chars(text.data() + start, text.data() + text.size(), back);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(x)) << text;
  }
}

// A key code that makes the canonical text exactly `total` bytes long.
std::string code_for_total(std::size_t total) {
  const std::size_t overhead = serialized(message::key(1, "", true)).size();
  return std::string(total - overhead, 'K');
}

class ControlPathTest : public ::testing::Test {
 protected:
  RecordingAdapter adapter_;
  ControlHarness harness_{adapter_};
};

TEST_F(ControlPathTest, MessageLevelChecksComeInOrderAndStopAtTheFirstFailure) {
  EXPECT_EQ(harness_.send(message::key(1, code_for_total(2049), true)),
            refused(ControlRefusal::kTooLarge));
  EXPECT_EQ(harness_.send(message::pointer(1, 0, std::nanf(""))),
            refused(ControlRefusal::kInvalid));
  EXPECT_EQ(harness_.send(message::key(1, "\xff", true)), refused(ControlRefusal::kInvalid));
  EXPECT_EQ(harness_.send("01020304-0506-0708-090A-0b0c0d0e0f10", message::pointer(1)),
            refused(ControlRefusal::kSessionMismatch));
  // Exactly at the limit the size passes and the unknown code fails conversion.
  EXPECT_EQ(harness_.send(message::key(1, code_for_total(2048), true)),
            refused(ControlRefusal::kEventInvalid));
  EXPECT_EQ(harness_.state.rate_window.size(), 1U);  // only the last one reached the rate check
  harness_.has_session = false;
  EXPECT_EQ(harness_.send(message::key(1, code_for_total(2049), true)),
            refused(ControlRefusal::kTooLarge));
  EXPECT_EQ(harness_.send(message::key(1, code_for_total(2048), true)),
            refused(ControlRefusal::kNoSession));
  EXPECT_TRUE(adapter_.calls.empty());
}

// A coordinate beyond every float fails the conversion, after the rate window
// took the message, and consumes nothing else.
TEST_F(ControlPathTest, AnInfiniteCoordinateFailsConversion) {
  EXPECT_EQ(harness_.send(message::pointer(1, 0, std::numeric_limits<float>::infinity())),
            refused(ControlRefusal::kEventInvalid));
  EXPECT_EQ(harness_.state.rate_window.size(), 1U);
  EXPECT_FALSE(harness_.state.sequence.last_seq.has_value());
}

TEST_F(ControlPathTest, RateLimitCountsMessagesRefusedAfterItButNotBefore) {
  for (std::uint32_t seq = 0; seq < 240; ++seq) {
    // Every other message is a wrong version: refused after the rate check.
    const ControlMessage control =
        seq % 2 == 0 ? ControlMessage{message::scroll(seq, 0, 1)}
                     : ControlMessage{native_protocol::control::Scroll{2, seq, 0, 1}};
    ASSERT_NE(harness_.send(control), refused(ControlRefusal::kRateLimited)) << seq;
  }
  EXPECT_EQ(harness_.send("other", message::scroll(300, 0, 1)),
            refused(ControlRefusal::kSessionMismatch));
  EXPECT_EQ(harness_.send(message::scroll(300, 0, 1)), refused(ControlRefusal::kRateLimited));
  harness_.monotonic.advance(std::chrono::seconds(1));
  EXPECT_EQ(harness_.send(message::scroll(300, 0, 1)), ControlEffect::kNone);
}

TEST_F(ControlPathTest, AnInjectionFailureStopsTheMessageThere) {
  adapter_.calls_before_failure = 1;
  // Buttons 0 -> 5: move, button 1, button 3; button 1 fails, button 3 is dropped.
  EXPECT_EQ(harness_.send(message::pointer(2, 5)), refused(ControlRefusal::kEventRejected));
  EXPECT_EQ(adapter_.calls, (Calls{"move", "button 1 down"}));
}

TEST_F(ControlPathTest, AnExpiredLeaseIsToldApartAndAnEndedGateRefusesEveryEvent) {
  harness_.wall.set_seconds(ControlHarness::kLeaseS);
  EXPECT_EQ(harness_.send(message::scroll(1, 0, 1)), refused(ControlRefusal::kLeaseExpired));
  // Once the session has ended the gate, a release-all still releases and any
  // event is refused.
  harness_.grant.active = false;
  EXPECT_EQ(harness_.send(message::release_all(2)), ControlEffect::kNone);
  EXPECT_EQ(harness_.send(message::stop(3)), refused(ControlRefusal::kEventRejected));
  EXPECT_EQ(adapter_.calls, (Calls{"release_all"}));
}

TEST_F(ControlPathTest, AClockFailureIsReportedAfterTheMessageWasCountedAndConverted) {
  harness_.wall.set(os::SystemTime{true, 1, 0});
  EXPECT_EQ(harness_.send(message::pointer(4, 1)), refused(ControlRefusal::kClockInvalid));
  EXPECT_EQ(harness_.state.sequence.last_seq, 4U);
  EXPECT_EQ(harness_.state.rate_window.size(), 1U);
  harness_.wall.set(os::SystemTime{false, std::numeric_limits<std::uint64_t>::max(), 0});
  EXPECT_EQ(harness_.send(message::pointer(5, 1)), refused(ControlRefusal::kClockOutOfBound));
  EXPECT_TRUE(adapter_.calls.empty());
  EXPECT_EQ(harness_.send(message::release_all(6)), ControlEffect::kNone);  // reads no clock
}

TEST_F(ControlPathTest, PeerPauseAndResumeAreEffectsForTheSession) {
  EXPECT_EQ(harness_.send(message::pause(1, true)), ControlEffect::kPeerPaused);
  EXPECT_EQ(harness_.send(message::pause(2, false)), ControlEffect::kPeerResumed);
  EXPECT_EQ(harness_.send(message::stop(3)), ControlEffect::kPeerStopped);
  EXPECT_TRUE(adapter_.calls.empty());
}

TEST_F(ControlPathTest, APausedGrantRefusesInputButNotReleaseAllPauseOrStop) {
  ASSERT_EQ(harness_.send(message::pointer(1, 1)), ControlEffect::kNone);
  harness_.grant.paused = true;
  adapter_.calls.clear();
  EXPECT_EQ(harness_.send(message::pointer(2, 0)), refused(ControlRefusal::kEventRejected));
  EXPECT_EQ(harness_.send(message::key(3, "KeyA", true)), refused(ControlRefusal::kEventRejected));
  EXPECT_EQ(harness_.send(message::release_all(4)), ControlEffect::kNone);
  EXPECT_EQ(harness_.state.sequence.buttons, 0);
  EXPECT_EQ(harness_.send(message::pause(5, false)), ControlEffect::kPeerResumed);
  EXPECT_EQ(harness_.send(message::stop(6)), ControlEffect::kPeerStopped);
  EXPECT_EQ(adapter_.calls, (Calls{"release_all"}));
}

// While the local user is using the computer, the remote side's desktop input
// waits without pausing anything; a pause says more and is reported as such.
TEST_F(ControlPathTest, AHeldBackGrantRefusesDesktopInputOnly) {
  harness_.grant.held_back = true;
  EXPECT_EQ(harness_.send(message::pointer(1, 1)), refused(ControlRefusal::kLocalUserActive));
  EXPECT_EQ(harness_.send(message::key(2, "KeyA", true)),
            refused(ControlRefusal::kLocalUserActive));
  EXPECT_EQ(harness_.send(message::pointer(2, 1)), refused(ControlRefusal::kEventInvalid));
  EXPECT_EQ(harness_.send(message::release_all(3)), ControlEffect::kNone);
  EXPECT_EQ(harness_.send(message::pause(4, true)), ControlEffect::kPeerPaused);
  harness_.grant.paused = true;
  EXPECT_EQ(harness_.send(message::pointer(5, 1)), refused(ControlRefusal::kEventRejected));
  EXPECT_EQ(adapter_.calls, (Calls{"release_all"}));
}

TEST(ControlPathGrantTest, AnEventOutsideTheGrantIsRejected) {
  RecordingAdapter adapter;
  ControlHarness harness(adapter,
                         protocol::permission_bit(protocol::TicketPermission::kSendPointer));
  ASSERT_EQ(harness.send(message::pointer(1, 2)), ControlEffect::kNone);
  EXPECT_EQ(harness.send(message::key(2, "KeyA", true)), refused(ControlRefusal::kEventRejected));
  EXPECT_EQ(adapter.calls, (Calls{"move", "button 2 down"}));
}

}  // namespace
}  // namespace ombrelin::input
