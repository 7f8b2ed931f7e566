#include "input/control_path.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>

#include "input/control_serialization.h"
#include "input/tests/control_harness.h"

namespace ombrelin::input {
namespace {

namespace message = testing::message;
using native_protocol::ControlMessage;
using session::CommandError;
using testing::ControlHarness;

using Journal = std::vector<std::string>;

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

TEST(ControlPathTest, MessageLevelChecksComeInOrderAndStopAtTheFirstFailure) {
  ControlHarness harness;
  EXPECT_EQ(harness.send(message::key(1, code_for_total(2049), true)).error(),
            CommandError::kControlTooLarge);
  EXPECT_EQ(harness.send(message::pointer(1, 0, std::nanf(""))).error(),
            CommandError::kControlInvalid);
  EXPECT_EQ(harness.send(message::key(1, "\xff", true)).error(), CommandError::kControlInvalid);
  EXPECT_EQ(harness.send("01020304-0506-0708-090A-0b0c0d0e0f10", message::pointer(1)).error(),
            CommandError::kControlSessionMismatch);
  // Exactly at the limit the size passes and the unknown code fails conversion.
  EXPECT_EQ(harness.send(message::key(1, code_for_total(2048), true)).error(),
            CommandError::kControlEventInvalid);
  EXPECT_EQ(harness.rate_window.size(), 1U);  // only the last one reached the rate check
  harness.has_session = false;
  EXPECT_EQ(harness.send(message::key(1, code_for_total(2049), true)).error(),
            CommandError::kControlTooLarge);
  EXPECT_EQ(harness.send(message::key(1, code_for_total(2048), true)).error(),
            CommandError::kNoActiveSession);
}

TEST(ControlPathTest, RateLimitCountsMessagesRefusedAfterItButNotBefore) {
  ControlHarness harness;
  for (std::uint32_t seq = 0; seq < 240; ++seq) {
    // Every other message is a wrong version: refused after the rate check.
    const ControlMessage control =
        seq % 2 == 0 ? ControlMessage{message::scroll(seq, 0, 1)}
                     : ControlMessage{native_protocol::control::Scroll{2, seq, 0, 1}};
    ASSERT_NE(harness.send(control), std::unexpected(CommandError::kControlRateLimited)) << seq;
  }
  EXPECT_EQ(harness.send("other", message::scroll(300, 0, 1)).error(),
            CommandError::kControlSessionMismatch);
  EXPECT_EQ(harness.send(message::scroll(300, 0, 1)).error(), CommandError::kControlRateLimited);
  harness.monotonic.advance(std::chrono::seconds(1));
  EXPECT_TRUE(harness.send(message::scroll(300, 0, 1)));
}

TEST(ControlPathTest, AnInjectionFailureReleasesThenPausesThenTellsTheIndicator) {
  ControlHarness harness;
  ASSERT_TRUE(harness.send(message::key(1, "KeyA", true, 2)));
  harness.journal.clear();
  harness.adapter.sends_before_failure = 1;
  // Buttons 0 -> 5: move, button 1, button 3; button 1 fails, button 3 is dropped.
  EXPECT_EQ(harness.send(message::pointer(2, 5)).error(), CommandError::kInputRejected);
  EXPECT_EQ(harness.journal,
            (Journal{"move", "button 1 down", "release_all", "show_paused 1 (paused)"}));
  EXPECT_TRUE(harness.adapter.holds_nothing());
  EXPECT_EQ(harness.sequence.buttons, 0);
  EXPECT_EQ(harness.gate.phase(), session::GatePhase::kActive);
}

TEST(ControlPathTest, AnExpiredLeaseEndsTheGateAndIsNotPausedAgain) {
  ControlHarness harness;
  harness.clock = session::UnixTime{ControlHarness::kLeaseS * 1000, ControlHarness::kLeaseS};
  EXPECT_EQ(harness.send(message::scroll(1, 0, 1)).error(), CommandError::kInputRejected);
  EXPECT_EQ(harness.journal,
            (Journal{"end_gate", "release_all (paused)", "show_paused 1 (paused)"}));
  EXPECT_EQ(harness.gate.phase(), session::GatePhase::kEnded);
  // A release-all still releases; any event is refused.
  EXPECT_TRUE(harness.send(message::release_all(2)));
  EXPECT_EQ(harness.send(message::stop(3)).error(), CommandError::kInputRejected);
}

TEST(ControlPathTest, AClockFailureIsReportedAfterTheMessageWasCountedAndConverted) {
  ControlHarness harness;
  harness.clock = std::unexpected(CommandError::kClockOutOfBound);
  EXPECT_EQ(harness.send(message::pointer(4, 1)).error(), CommandError::kClockOutOfBound);
  EXPECT_EQ(harness.sequence.last_seq, 4U);
  EXPECT_EQ(harness.rate_window.size(), 1U);
  EXPECT_TRUE(harness.journal.empty());
  EXPECT_TRUE(harness.send(message::release_all(5)));  // reads no clock
}

TEST(ControlPathTest, PeerPauseReleasesAndRefusesInputUntilThePeerResumes) {
  ControlHarness harness;
  ASSERT_TRUE(harness.send(message::pointer(1, 1)));
  harness.journal.clear();
  ASSERT_TRUE(harness.send(message::pause(2, true)));
  EXPECT_EQ(harness.journal, (Journal{"release_all (paused)"}));  // the indicator is not told
  EXPECT_TRUE(harness.adapter.holds_nothing());
  EXPECT_EQ(harness.sequence.buttons, 0);

  EXPECT_EQ(harness.send(message::pointer(3, 1)).error(), CommandError::kInputRejected);
  EXPECT_TRUE(harness.adapter.holds_nothing());
  harness.journal.clear();
  ASSERT_TRUE(harness.send(message::pause(4, false)));
  EXPECT_EQ(harness.journal, (Journal{"show_paused 0"}));
  ASSERT_TRUE(harness.send(message::pointer(5, 1)));
  EXPECT_EQ(harness.adapter.held_buttons, std::set<std::uint32_t>{1});
}

TEST(ControlPathTest, ReleaseAllAndStopStillWorkWhileLocallyPaused) {
  ControlHarness harness;
  ASSERT_TRUE(harness.send(message::key(1, "ShiftLeft", true, 8)));
  harness.gate.set_paused(true);
  ASSERT_TRUE(harness.send(message::release_all(2)));
  EXPECT_TRUE(harness.adapter.holds_nothing());
  ASSERT_TRUE(harness.send(message::stop(3)));
  EXPECT_FALSE(harness.has_session);
  EXPECT_EQ(harness.journal.back(), "release_all (paused)");  // from the host's stop
  EXPECT_EQ(harness.send(message::stop(4)).error(), CommandError::kNoActiveSession);
}

TEST(ControlPathTest, AnEventOutsideTheGrantIsRejected) {
  ControlHarness harness(protocol::permission_bit(protocol::TicketPermission::kSendPointer));
  ASSERT_TRUE(harness.send(message::pointer(1, 2)));
  EXPECT_EQ(harness.send(message::key(2, "KeyA", true)).error(), CommandError::kInputRejected);
  EXPECT_TRUE(harness.adapter.holds_nothing());
  EXPECT_TRUE(harness.gate.paused());
}

}  // namespace
}  // namespace ombrelin::input
