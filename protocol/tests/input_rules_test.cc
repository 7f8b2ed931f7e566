#include "ombrelin/protocol/input_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "ombrelin/protocol/text_codecs.h"
#include "ticket_test_support.h"

namespace ombrelin::protocol {
namespace {

using testing::PrintTo;

using namespace input_event;
using E = ProtocolError;
using L = FieldLabel;
using PP = PermissionProblem;

const Uuid kSession = *parse_uuid_text("8f14e45f-ceea-467f-a8f5-2f3b1d0a9c11");
constexpr std::uint64_t kEpoch = 7;
constexpr PermissionMask kAll = 0xffff;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct EnvelopeCase {
  std::string name;
  InputEvent event;
  std::optional<ProtocolError> error;  // none: accepted
  PermissionMask granted = kAll;
  std::function<void(InputEnvelope&)> edit = [](InputEnvelope&) {};
};

class InputEnvelopeRules : public ::testing::TestWithParam<EnvelopeCase> {};

TEST_P(InputEnvelopeRules, ReportsTheFirstBrokenRule) {
  const EnvelopeCase& c = GetParam();
  InputEnvelope envelope{Bytes(kSession.begin(), kSession.end()), 1, kEpoch, c.event};
  c.edit(envelope);
  const auto result = validate_input_envelope(envelope, kSession, kEpoch, c.granted);
  if (c.error) {
    ASSERT_FALSE(result.has_value()) << c.name;
    EXPECT_EQ(result.error(), *c.error) << to_string(result.error());
  } else {
    EXPECT_TRUE(result.has_value()) << to_string(result.error());
  }
}

PermissionMask all_but(TicketPermission p) { return kAll & ~permission_bit(p); }
std::optional<ProtocolError> not_granted(std::int32_t value) {
  return E::permission({PP::kNotGranted, value});
}
const PointerMove kMove{"", kAbsolutePointer, 0.5f, 0.5f};

INSTANTIATE_TEST_SUITE_P(
    Envelope, InputEnvelopeRules,
    ::testing::Values(EnvelopeCase{"Valid", kMove, std::nullopt},
                      EnvelopeCase{"OtherSession", kMove, E::mismatch(L::kSessionId), kAll,
                                   [](InputEnvelope& e) { e.session_id[0] ^= 1; }},
                      EnvelopeCase{"SequenceZeroBeforePermission", kMove, E::invalid(L::kSequence),
                                   0, [](InputEnvelope& e) { e.sequence = 0; }},
                      EnvelopeCase{"OldEpoch", kMove, E::mismatch(L::kPermissionEpoch), kAll,
                                   [](InputEnvelope& e) { e.permission_epoch = kEpoch - 1; }},
                      EnvelopeCase{"NoEvent", kMove, E::missing(L::kEvent), kAll,
                                   [](InputEnvelope& e) { e.event.reset(); }}),
    testing::CaseName{});

INSTANTIATE_TEST_SUITE_P(
    Permissions, InputEnvelopeRules,
    ::testing::Values(EnvelopeCase{"MoveNeedsPointer", kMove, not_granted(3),
                                   all_but(TicketPermission::kSendPointer)},
                      EnvelopeCase{"ScrollNeedsPointer", ScrollDelta{1, 0}, not_granted(3),
                                   all_but(TicketPermission::kSendPointer)},
                      EnvelopeCase{"KeyNeedsKeyboard", KeyboardKey{4, 0, true}, not_granted(4),
                                   all_but(TicketPermission::kSendKeyboard)},
                      EnvelopeCase{"TouchNeedsTouch", Touch{}, not_granted(5),
                                   all_but(TicketPermission::kSendTouch)},
                      EnvelopeCase{"SwitchNeedsMonitor", SwitchDisplay{"d"}, not_granted(13),
                                   all_but(TicketPermission::kSwitchMonitor)},
                      EnvelopeCase{"ClipboardWithWriteOnly", ClipboardContent{Bytes(16, 1), {}},
                                   std::nullopt, permission_bit(TicketPermission::kWriteClipboard)},
                      EnvelopeCase{"ClipboardReports8", ClipboardOffer{}, not_granted(8),
                                   all_but(TicketPermission::kReadClipboard) &
                                       all_but(TicketPermission::kWriteClipboard)},
                      EnvelopeCase{"PeerStopNeedsNothing", PeerStop{}, std::nullopt, 0}),
    testing::CaseName{});

INSTANTIATE_TEST_SUITE_P(
    Pointer, InputEnvelopeRules,
    ::testing::Values(
        EnvelopeCase{"AbsoluteEdges", PointerMove{"", 1, 1.0f, 0.0f}, std::nullopt},
        EnvelopeCase{"NegativeZero", PointerMove{"", 1, -0.0f, -0.0f}, std::nullopt},
        EnvelopeCase{"AbsoluteJustAboveOne", PointerMove{"", 1, 1.0000001f, 0.5f},
                     E::invalid(L::kPointerCoordinates)},
        EnvelopeCase{"NaNBeforeMode", PointerMove{"", 0, kNaN, 0.5f},
                     E::invalid(L::kPointerCoordinates)},
        EnvelopeCase{"RelativeEdges", PointerMove{"", 2, -32768.0f, 32767.0f}, std::nullopt},
        EnvelopeCase{"RelativeTooFar", PointerMove{"", 2, 32768.0f, 0.0f},
                     E::invalid(L::kRelativePointerDelta)},
        EnvelopeCase{"ModeZero", PointerMove{"", 0, 0.5f, 0.5f}, E::invalid(L::kPointerMode)},
        EnvelopeCase{"DisplayId129", PointerMove{std::string(129, 'd'), 1, 0.5f, 0.5f},
                     E::too_long(128, L::kDisplayId)},
        EnvelopeCase{"Button0", PointerButton{0, true}, E::invalid(L::kPointerButton)},
        EnvelopeCase{"Button33", PointerButton{33, true}, E::invalid(L::kPointerButton)},
        EnvelopeCase{"ScrollEdge", ScrollDelta{-12000, 12000}, std::nullopt},
        EnvelopeCase{"Scroll12001", ScrollDelta{0, -12001}, E::invalid(L::kScrollDelta)},
        EnvelopeCase{"ScrollMostNegative", ScrollDelta{std::numeric_limits<std::int32_t>::min(), 0},
                     E::invalid(L::kScrollDelta)},
        EnvelopeCase{"KeyUsage0", KeyboardKey{0, 0, true}, E::invalid(L::kKeyboardHidUsage)},
        EnvelopeCase{"KeyEdges", KeyboardKey{65535, 255, false}, std::nullopt},
        EnvelopeCase{"KeyModifiers256", KeyboardKey{4, 256, true},
                     E::invalid(L::kKeyboardHidUsage)}),
    testing::CaseName{});

Touch touches(std::size_t count) {
  Touch touch;
  for (std::uint32_t i = 0; i < count; ++i) touch.contacts.push_back({i, 0.5f, 0.5f, 1.0f});
  return touch;
}

INSTANTIATE_TEST_SUITE_P(
    OtherKinds, InputEnvelopeRules,
    ::testing::Values(
        EnvelopeCase{"Touch16", touches(16), std::nullopt},
        EnvelopeCase{"Touch17", touches(17), E::too_long(16, L::kTouchContacts)},
        EnvelopeCase{"TouchRepeatedId", Touch{{{4, 0, 0, 0}, {4, 1, 1, 1}}},
                     E::invalid(L::kTouchContact)},
        EnvelopeCase{"PenTilt90", Pen{0, 1, 1, -90, 90}, std::nullopt},
        EnvelopeCase{"PenTilt91", Pen{0, 1, 1, 0, 91}, E::invalid(L::kPenFrame)},
        EnvelopeCase{"GamepadFull",
                     Gamepad{3, std::vector<float>(16, -1.0f), std::vector<float>(32, 1.0f)},
                     std::nullopt},
        EnvelopeCase{"GamepadIndex4", Gamepad{4, {}, {}}, E::invalid(L::kGamepadFrame)},
        EnvelopeCase{"Gamepad17Axes", Gamepad{0, std::vector<float>(17, 0.0f), {}},
                     E::invalid(L::kGamepadFrame)},
        EnvelopeCase{"GamepadAxisNaN", Gamepad{0, {kNaN}, {}}, E::invalid(L::kGamepadValue)},
        EnvelopeCase{"SwitchEmpty", SwitchDisplay{""}, E::invalid(L::kDisplayId)},
        EnvelopeCase{"Switch129", SwitchDisplay{std::string(129, 'd')},
                     E::too_long(128, L::kDisplayId)},
        EnvelopeCase{"UpdateNextEpoch", PermissionUpdate{kEpoch + 1, {1, 3}, Bytes(64, 1)},
                     std::nullopt},
        EnvelopeCase{"UpdateSameEpoch", PermissionUpdate{kEpoch, {1}, Bytes(64, 1)},
                     E::invalid(L::kNewPermissionEpoch)},
        EnvelopeCase{"UpdateBadList", PermissionUpdate{kEpoch + 1, {3, 1}, Bytes(64, 1)},
                     E::permission({PP::kOutOfOrder, 1})},
        EnvelopeCase{"UpdateShortSignature", PermissionUpdate{kEpoch + 1, {1}, Bytes(63, 1)},
                     E::wrong_length(64, 63, L::kTargetDeviceSignature)},
        EnvelopeCase{"PauseReason64", PeerPause{std::string(64, 'r'), true}, std::nullopt},
        EnvelopeCase{"PauseReason65", PeerPause{std::string(65, 'r'), true},
                     E::invalid(L::kReasonCode)},
        EnvelopeCase{
            "OfferValid",
            ClipboardOffer{Bytes(16, 1), "text/plain;charset=utf-8", 1048576, Bytes(32, 2)},
            std::nullopt},
        EnvelopeCase{"OfferShortId", ClipboardOffer{Bytes(15, 1), "image/png", 1, Bytes(32, 2)},
                     E::wrong_length(16, 15, L::kClipboardId)},
        EnvelopeCase{"OfferZeroId", ClipboardOffer{Bytes(16, 0), "image/png", 1, Bytes(32, 2)},
                     E::invalid(L::kClipboardId)},
        EnvelopeCase{"OfferPlainText", ClipboardOffer{Bytes(16, 1), "text/plain", 1, Bytes(32, 2)},
                     E::invalid(L::kClipboardOffer)},
        EnvelopeCase{"OfferTooBig",
                     ClipboardOffer{Bytes(16, 1), "image/png", 1048577, Bytes(32, 2)},
                     E::invalid(L::kClipboardOffer)},
        EnvelopeCase{"ContentTooBig", ClipboardContent{Bytes(16, 1), Bytes(1048577, 0)},
                     E::too_long(1048576, L::kClipboardContent)}),
    testing::CaseName{});

// With the epoch at its highest value no next epoch exists, so no update may pass.
TEST(InputEnvelopeEpoch, UpdateAtTheHighestEpochIsRefused) {
  constexpr std::uint64_t kLast = std::numeric_limits<std::uint64_t>::max();
  const InputEnvelope envelope{Bytes(kSession.begin(), kSession.end()), 1, kLast,
                               PermissionUpdate{kLast, {1}, Bytes(64, 1)}};
  const auto result = validate_input_envelope(envelope, kSession, kLast, kAll);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), E::invalid(L::kNewPermissionEpoch));
}

}  // namespace
}  // namespace ombrelin::protocol
