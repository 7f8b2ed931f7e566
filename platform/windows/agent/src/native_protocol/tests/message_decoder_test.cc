#include "native_protocol/message_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace ombrelin::native_protocol {
namespace {

using Check = std::function<void(const IncomingMessage&)>;

// A command message around `command`, with `type` last among its members.
std::string command_message(std::string_view command) {
  return R"({"v":1,"requestId":"r","agentChallenge":"c","command":)" + std::string(command) +
         R"(,"type":"command"})";
}

std::string control_message(std::string_view control) {
  return command_message(R"({"sessionId":"s","control":)" + std::string(control) +
                         R"(,"type":"control"})");
}

template <typename Command>
const Command& command_of(const IncomingMessage& message) {
  const auto& outer = std::get<CommandMessage>(message);
  EXPECT_EQ(outer.v, 1u);
  EXPECT_EQ(outer.request_id, "r");
  EXPECT_EQ(outer.agent_challenge, "c");
  return std::get<Command>(outer.command);
}

template <typename Control>
const Control& control_of(const IncomingMessage& message) {
  const auto& control = command_of<command::Control>(message);
  EXPECT_EQ(control.session_id, "s");
  return std::get<Control>(control.control);
}

struct AcceptedCase {
  std::string name;
  std::string body;
  Check check;
};

class DecoderAccepts : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(DecoderAccepts, DecodesToTheDeclaredRecord) {
  MessageDecoder decoder;
  const auto message = decoder.decode(GetParam().body);
  ASSERT_TRUE(message.has_value()) << GetParam().body;
  GetParam().check(*message);
}

constexpr auto kU64Max = std::numeric_limits<std::uint64_t>::max();
constexpr auto kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr auto kI32Max = std::numeric_limits<std::int32_t>::max();

const std::string kTicketKey = R"({"encoding":"e","keyId":"k","algorithm":"a","publicKey":"p"})";

INSTANTIATE_TEST_SUITE_P(
    Shapes, DecoderAccepts,
    ::testing::Values(
        AcceptedCase{"HelloTypeLast",
                     R"({"v":1,"requestId":"r","extensionOrigin":"o","trustedWebOrigin":"w",)"
                     R"("extensionChallenge":"x","type":"hello"})",
                     [](const IncomingMessage& m) {
                       const auto& hello = std::get<HelloMessage>(m);
                       EXPECT_EQ(hello.v, 1u);
                       EXPECT_EQ(hello.request_id, "r");
                       EXPECT_EQ(hello.extension_origin, "o");
                       EXPECT_EQ(hello.trusted_web_origin, "w");
                       EXPECT_EQ(hello.extension_challenge, "x");
                     }},
        AcceptedCase{"ChallengeAckTypeInMiddleVersionMax",
                     R"({"requestId":"r","type":"challenge-ack","v":4294967295,)"
                     R"("agentChallenge":"a"})",
                     [](const IncomingMessage& m) {
                       const auto& ack = std::get<ChallengeAckMessage>(m);
                       EXPECT_EQ(ack.v, 4294967295u);
                       EXPECT_EQ(ack.request_id, "r");
                       EXPECT_EQ(ack.agent_challenge, "a");
                     }},
        AcceptedCase{
            "VersionIsNotCheckedByTheDecoder",
            R"({"type":"challenge-ack","v":0,"requestId":"","agentChallenge":""})",
            [](const IncomingMessage& m) { EXPECT_EQ(std::get<ChallengeAckMessage>(m).v, 0u); }},
        AcceptedCase{"StatusIgnoresExtras",
                     command_message(R"({"x":1,"type":"status","y":[{"z":null}]})"),
                     [](const IncomingMessage& m) { command_of<command::Status>(m); }},
        AcceptedCase{"DiagnosticsIgnoresExtras",
                     command_message(R"({"type":"diagnostics","paused":"no"})"),
                     [](const IncomingMessage& m) { command_of<command::Diagnostics>(m); }},
        AcceptedCase{"StopIgnoresExtras", command_message(R"({"sessionId":7,"type":"stop"})"),
                     [](const IncomingMessage& m) { command_of<command::Stop>(m); }},
        AcceptedCase{
            "Pause", command_message(R"({"paused":true,"type":"pause"})"),
            [](const IncomingMessage& m) { EXPECT_TRUE(command_of<command::Pause>(m).paused); }},
        AcceptedCase{
            "SessionStart",
            command_message(
                R"({"ticketKey":)" + kTicketKey +
                R"(,"type":"session-start","sessionId":"id","requesterName":"Ann \u00e9",)"
                R"("permissions":["REVERSE_SHARE","VIEW_SCREEN","SEND_KEYBOARD","VIEW_SCREEN"],)"
                R"("leaseExpiresAt":18446744073709551615,"signedTicket":"t"})"),
            [](const IncomingMessage& m) {
              const auto& start = command_of<command::SessionStart>(m);
              EXPECT_EQ(start.session_id, "id");
              EXPECT_EQ(start.requester_name, "Ann \xC3\xA9");
              EXPECT_EQ(start.permissions,
                        (std::vector{PermissionName::kReverseShare, PermissionName::kViewScreen,
                                     PermissionName::kSendKeyboard, PermissionName::kViewScreen}));
              EXPECT_EQ(start.lease_expires_at, kU64Max);
              EXPECT_EQ(start.signed_ticket, "t");
              EXPECT_EQ(start.ticket_key.key_id, "k");
              EXPECT_EQ(start.ticket_key.algorithm, "a");
              EXPECT_EQ(start.ticket_key.public_key, "p");
              EXPECT_EQ(start.ticket_key.encoding, "e");
            }},
        AcceptedCase{"SessionStartNoPermissionsLeaseZero",
                     command_message(R"({"type":"session-start","sessionId":"","requesterName":"",)"
                                     R"("permissions":[],"leaseExpiresAt":0,"signedTicket":"",)"
                                     R"("ticketKey":)" +
                                     kTicketKey + "}"),
                     [](const IncomingMessage& m) {
                       const auto& start = command_of<command::SessionStart>(m);
                       EXPECT_TRUE(start.permissions.empty());
                       EXPECT_EQ(start.lease_expires_at, 0u);
                     }},
        AcceptedCase{"SessionPause",
                     command_message(R"({"type":"session-pause","paused":false,"sessionId":"s"})"),
                     [](const IncomingMessage& m) {
                       const auto& pause = command_of<command::SessionPause>(m);
                       EXPECT_EQ(pause.session_id, "s");
                       EXPECT_FALSE(pause.paused);
                     }},
        AcceptedCase{"SessionStop", command_message(R"({"sessionId":"s","type":"session-stop"})"),
                     [](const IncomingMessage& m) {
                       EXPECT_EQ(command_of<command::SessionStop>(m).session_id, "s");
                     }},
        AcceptedCase{
            "Pointer",
            control_message(
                R"({"x":0.25,"y":-3,"buttons":255,"type":"pointer","v":1,"seq":4294967295})"),
            [](const IncomingMessage& m) {
              const auto& p = control_of<control::Pointer>(m);
              EXPECT_EQ(p.v, 1u);
              EXPECT_EQ(p.seq, 4294967295u);
              EXPECT_EQ(p.x, 0.25f);
              EXPECT_EQ(p.y, -3.0f);
              EXPECT_EQ(p.buttons, 255);
            }},
        AcceptedCase{"ScrollInt32Limits",
                     control_message(R"({"type":"scroll","v":1,"seq":0,)"
                                     R"("horizontal":-2147483648,"vertical":2147483647})"),
                     [](const IncomingMessage& m) {
                       const auto& s = control_of<control::Scroll>(m);
                       EXPECT_EQ(s.horizontal, kI32Min);
                       EXPECT_EQ(s.vertical, kI32Max);
                     }},
        AcceptedCase{"KeyTransition",
                     control_message(R"({"type":"key-transition","v":1,"seq":2,)"
                                     R"("code":"Key\u0041","down":true,"modifiers":255})"),
                     [](const IncomingMessage& m) {
                       const auto& k = control_of<control::KeyTransition>(m);
                       EXPECT_EQ(k.seq, 2u);
                       EXPECT_EQ(k.code, "KeyA");
                       EXPECT_TRUE(k.down);
                       EXPECT_EQ(k.modifiers, 255);
                     }},
        AcceptedCase{"PauseInput",
                     control_message(R"({"type":"pause-input","v":1,"seq":3,"paused":true})"),
                     [](const IncomingMessage& m) {
                       EXPECT_TRUE(control_of<control::PauseInput>(m).paused);
                     }},
        AcceptedCase{"ReleaseAll", control_message(R"({"seq":5,"v":1,"type":"release-all"})"),
                     [](const IncomingMessage& m) {
                       EXPECT_EQ(control_of<control::ReleaseAll>(m).seq, 5u);
                     }},
        AcceptedCase{
            "ControlStop", control_message(R"({"type":"stop","v":1,"seq":6})"),
            [](const IncomingMessage& m) { EXPECT_EQ(control_of<control::Stop>(m).seq, 6u); }},
        AcceptedCase{"EscapesAndSurrogatePairDecoded",
                     R"({"type":"challenge-ack","v":1,"requestId":"a\"\\\/\b\f\n\r\t\u0000",)"
                     R"("agentChallenge":"\ud83d\ude00\u20ac"})",
                     [](const IncomingMessage& m) {
                       const auto& ack = std::get<ChallengeAckMessage>(m);
                       EXPECT_EQ(ack.request_id, std::string("a\"\\/\b\f\n\r\t\0", 10));
                       EXPECT_EQ(ack.agent_challenge, "\xF0\x9F\x98\x80\xE2\x82\xAC");
                     }},
        AcceptedCase{"WhitespaceAround",
                     " \t\r\n" + command_message(R"({"type":"status"})") + " \t\r\n",
                     [](const IncomingMessage& m) { command_of<command::Status>(m); }}),
    [](const auto& test) { return test.param.name; });

// x and y take any JSON number, however large, and narrow it to the nearest
// float; only what lies beyond the largest float by half a step or more is
// infinity.
struct CoordinateCase {
  std::string literal;
  float expected;
};

class DecoderCoordinates : public ::testing::TestWithParam<CoordinateCase> {};

TEST_P(DecoderCoordinates, NarrowsToFloat) {
  MessageDecoder decoder;
  const auto message = decoder.decode(control_message(
      R"({"type":"pointer","v":1,"seq":1,"x":)" + GetParam().literal + R"(,"y":0,"buttons":0})"));
  ASSERT_TRUE(message.has_value()) << GetParam().literal;
  EXPECT_EQ(control_of<control::Pointer>(*message).x, GetParam().expected);
}

constexpr float kInf = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Numbers, DecoderCoordinates,
    ::testing::Values(CoordinateCase{"7", 7.0f}, CoordinateCase{"-7", -7.0f},
                      CoordinateCase{"0.1", 0.1f}, CoordinateCase{"-2.5e1", -25.0f},
                      CoordinateCase{"1e300", kInf}, CoordinateCase{"-1e300", -kInf},
                      CoordinateCase{"3.5e38", kInf}, CoordinateCase{"1e-300", 0.0f},
                      CoordinateCase{"3.4028234e38", std::numeric_limits<float>::max()},
                      CoordinateCase{"3.4028235e38", std::numeric_limits<float>::max()},
                      CoordinateCase{"-3.4028235e38", -std::numeric_limits<float>::max()},
                      CoordinateCase{"3.40282356779733661637539395458142568448e38", kInf},
                      CoordinateCase{"3.4028235677973362e38", std::numeric_limits<float>::max()},
                      CoordinateCase{"18446744073709551615", 18446744073709551615.0f},
                      CoordinateCase{"-9223372036854775808", -9223372036854775808.0f},
                      CoordinateCase{"18446744073709551616", 18446744073709551616.0f},
                      CoordinateCase{"100000000000000000000", 1e20f},
                      CoordinateCase{"-9223372036854775809", -9223372036854775809.0f},
                      CoordinateCase{"1" + std::string(60, '0'), kInf},
                      CoordinateCase{"1e400", kInf}, CoordinateCase{"-1e400", -kInf},
                      CoordinateCase{"1e-400", 0.0f}));

// Every body below must be refused as a whole.
struct RefusedCase {
  std::string name;
  std::string body;
};

class DecoderRefuses : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(DecoderRefuses, FailsToDecode) {
  MessageDecoder decoder;
  EXPECT_FALSE(decoder.decode(GetParam().body).has_value()) << GetParam().body;
}

std::string pointer(std::string_view x, std::string_view buttons) {
  return control_message(R"({"type":"pointer","v":1,"seq":1,"x":)" + std::string(x) +
                         R"(,"y":0,"buttons":)" + std::string(buttons) + "}");
}
std::string scroll(std::string_view horizontal) {
  return control_message(R"({"type":"scroll","v":1,"seq":1,"horizontal":)" +
                         std::string(horizontal) + R"(,"vertical":0})");
}
std::string ack_with_v(std::string_view v) {
  return R"({"type":"challenge-ack","v":)" + std::string(v) +
         R"(,"requestId":"r","agentChallenge":"a"})";
}
std::string session_start(std::string_view permissions, std::string_view lease) {
  return command_message(R"({"type":"session-start","sessionId":"s","requesterName":"n",)"
                         R"("permissions":)" +
                         std::string(permissions) + R"(,"leaseExpiresAt":)" + std::string(lease) +
                         R"(,"signedTicket":"t","ticketKey":)" + kTicketKey + "}");
}
const std::string kAck = ack_with_v("1");

INSTANTIATE_TEST_SUITE_P(
    Refusals, DecoderRefuses,
    ::testing::Values(
        // Duplicates, including one the command itself ignores.
        RefusedCase{"DuplicateTopLevel",
                    R"({"type":"challenge-ack","v":1,"requestId":"r","requestId":"r",)"
                    R"("agentChallenge":"a"})"},
        RefusedCase{"DuplicateType",
                    R"({"type":"challenge-ack","type":"challenge-ack","v":1,"requestId":"r",)"
                    R"("agentChallenge":"a"})"},
        RefusedCase{"DuplicateIgnoredInStatus",
                    command_message(R"({"type":"status","x":1,"x":2})")},
        RefusedCase{"DuplicateInTicketKey",
                    command_message(R"({"type":"session-start","sessionId":"s",)"
                                    R"("requesterName":"n","permissions":[],"leaseExpiresAt":1,)"
                                    R"("signedTicket":"t","ticketKey":{"keyId":"k","keyId":"k",)"
                                    R"("algorithm":"a","publicKey":"p","encoding":"e"}})")},
        RefusedCase{"DuplicateInControl",
                    control_message(R"({"type":"release-all","v":1,"seq":1,"seq":1})")},
        // Unknown members.
        RefusedCase{"UnknownInMessage", R"({"type":"challenge-ack","v":1,"requestId":"r",)"
                                        R"("agentChallenge":"a","x":1})"},
        RefusedCase{"UnknownInCommandMessage",
                    R"({"type":"command","v":1,"requestId":"r","agentChallenge":"a",)"
                    R"("command":{"type":"status"},"x":1})"},
        RefusedCase{"UnknownInPause", command_message(R"({"type":"pause","paused":true,"x":1})")},
        RefusedCase{"UnknownInSessionStop",
                    command_message(R"({"type":"session-stop","sessionId":"s","x":1})")},
        RefusedCase{"UnknownInTicketKey",
                    command_message(R"({"type":"session-start","sessionId":"s",)"
                                    R"("requesterName":"n","permissions":[],"leaseExpiresAt":1,)"
                                    R"("signedTicket":"t","ticketKey":{"keyId":"k",)"
                                    R"("algorithm":"a","publicKey":"p","encoding":"e","x":1}})")},
        RefusedCase{"UnknownInReleaseAll",
                    control_message(R"({"type":"release-all","v":1,"seq":1,"x":1})")},
        // Missing members.
        RefusedCase{"MissingType", R"({"v":1,"requestId":"r","agentChallenge":"a"})"},
        RefusedCase{"MissingInHello", R"({"type":"hello","v":1,"requestId":"r",)"
                                      R"("extensionOrigin":"o","trustedWebOrigin":"w"})"},
        RefusedCase{"MissingCommand",
                    R"({"type":"command","v":1,"requestId":"r","agentChallenge":"a"})"},
        RefusedCase{"MissingPaused",
                    command_message(R"({"type":"session-pause","sessionId":"s"})")},
        RefusedCase{"MissingButtons",
                    control_message(R"({"type":"pointer","v":1,"seq":1,"x":0,"y":0})")},
        RefusedCase{"MissingSeq", control_message(R"({"type":"stop","v":1})")},
        // Null is never a value.
        RefusedCase{"NullType", R"({"type":null,"v":1,"requestId":"r","agentChallenge":"a"})"},
        RefusedCase{"NullRequestId",
                    R"({"type":"challenge-ack","v":1,"requestId":null,"agentChallenge":"a"})"},
        RefusedCase{"NullVersion", ack_with_v("null")},
        RefusedCase{"NullPaused", command_message(R"({"type":"pause","paused":null})")},
        RefusedCase{"NullCoordinate", pointer("null", "0")},
        RefusedCase{"NullPermissions", session_start("null", "1")},
        RefusedCase{"NullPermission", session_start("[null]", "1")},
        RefusedCase{"NullCommand",
                    R"({"type":"command","v":1,"requestId":"r","agentChallenge":"a",)"
                    R"("command":null})"},
        // Wrong JSON types.
        RefusedCase{"VersionAsString", ack_with_v("\"1\"")},
        RefusedCase{"VersionAsFraction", ack_with_v("1.0")},
        RefusedCase{"VersionWithExponent", ack_with_v("1e0")},
        RefusedCase{"VersionNegative", ack_with_v("-1")},
        RefusedCase{"VersionBoolean", ack_with_v("true")},
        RefusedCase{"VersionTooLarge", ack_with_v("4294967296")},
        RefusedCase{"RequestIdNumber",
                    R"({"type":"challenge-ack","v":1,"requestId":1,"agentChallenge":"a"})"},
        RefusedCase{"TypeNumber", R"({"type":1,"v":1,"requestId":"r","agentChallenge":"a"})"},
        RefusedCase{"PausedAsNumber", command_message(R"({"type":"pause","paused":1})")},
        RefusedCase{"PausedAsString", command_message(R"({"type":"pause","paused":"true"})")},
        RefusedCase{"CommandAsArray",
                    R"({"type":"command","v":1,"requestId":"r","agentChallenge":"a",)"
                    R"("command":["status"]})"},
        RefusedCase{"PermissionsAsString", session_start(R"("VIEW_SCREEN")", "1")},
        RefusedCase{"TicketKeyAsString",
                    command_message(R"({"type":"session-start","sessionId":"s",)"
                                    R"("requesterName":"n","permissions":[],"leaseExpiresAt":1,)"
                                    R"("signedTicket":"t","ticketKey":"k"})")},
        RefusedCase{"CoordinateAsString", pointer(R"("1")", "0")},
        RefusedCase{"CoordinateAsBoolean", pointer("true", "0")},
        RefusedCase{"CodeAsNumber",
                    control_message(R"({"type":"key-transition","v":1,"seq":1,"code":65,)"
                                    R"("down":true,"modifiers":0})")},
        RefusedCase{"RootArray", R"(["challenge-ack",1,"r","a"])"},
        RefusedCase{"RootString", R"("hello")"},
        // Integer widths.
        RefusedCase{"Buttons256", pointer("0", "256")},
        RefusedCase{"ButtonsNegative", pointer("0", "-1")},
        RefusedCase{"ButtonsFraction", pointer("0", "1.0")},
        RefusedCase{"ModifiersTooLarge",
                    control_message(R"({"type":"key-transition","v":1,"seq":1,"code":"KeyA",)"
                                    R"("down":true,"modifiers":256})")},
        RefusedCase{"ScrollAboveInt32", scroll("2147483648")},
        RefusedCase{"ScrollBelowInt32", scroll("-2147483649")},
        RefusedCase{"SeqNegative", control_message(R"({"type":"stop","v":1,"seq":-1})")},
        RefusedCase{"LeaseTwoToThe64", session_start("[]", "18446744073709551616")},
        RefusedCase{"LeaseNegative", session_start("[]", "-1")},
        RefusedCase{"LeaseFraction", session_start("[]", "1.5")},
        // Tags and enumerations are case-sensitive.
        RefusedCase{"UppercaseMessageType",
                    R"({"type":"Challenge-ack","v":1,"requestId":"r","agentChallenge":"a"})"},
        RefusedCase{"UnknownMessageType",
                    R"({"type":"ready","v":1,"requestId":"r","agentChallenge":"a"})"},
        RefusedCase{"UppercaseCommandType", command_message(R"({"type":"Status"})")},
        RefusedCase{"UnknownCommandType", command_message(R"({"type":"reboot"})")},
        RefusedCase{"UppercaseControlType",
                    control_message(R"({"type":"Release-all","v":1,"seq":1})")},
        RefusedCase{"LowercasePermission", session_start(R"(["view_screen"])", "1")},
        RefusedCase{"UnknownPermission", session_start(R"(["VIEW_SCREENS"])", "1")},
        // Text encoding.
        RefusedCase{"InvalidUtf8InString",
                    "{\"type\":\"challenge-ack\",\"v\":1,\"requestId\":\"\xFF\","
                    "\"agentChallenge\":\"a\"}"},
        RefusedCase{"OverlongUtf8",
                    "{\"type\":\"challenge-ack\",\"v\":1,\"requestId\":\"\xC0\xAF\","
                    "\"agentChallenge\":\"a\"}"},
        RefusedCase{"EncodedSurrogateUtf8",
                    "{\"type\":\"challenge-ack\",\"v\":1,\"requestId\":\"\xED\xA0\x80\","
                    "\"agentChallenge\":\"a\"}"},
        RefusedCase{"InvalidUtf8InName",
                    "{\"type\":\"challenge-ack\",\"v\":1,\"requestId\":\"r\","
                    "\"agentChallenge\":\"a\",\"\xFE\":1}"},
        RefusedCase{"LoneHighSurrogate",
                    R"({"type":"challenge-ack","v":1,"requestId":"\ud800","agentChallenge":"a"})"},
        RefusedCase{"HighSurrogateThenLetter",
                    R"({"type":"challenge-ack","v":1,"requestId":"\ud800\u0041",)"
                    R"("agentChallenge":"a"})"},
        RefusedCase{"InvalidEscape",
                    R"({"type":"challenge-ack","v":1,"requestId":"\x41","agentChallenge":"a"})"},
        RefusedCase{"RawControlInString",
                    "{\"type\":\"challenge-ack\",\"v\":1,\"requestId\":\"a\nb\","
                    "\"agentChallenge\":\"a\"}"},
        // One document, then whitespace only.
        RefusedCase{"TrailingLetter", kAck + "x"},
        RefusedCase{"TrailingSecondDocument", kAck + " {}"},
        RefusedCase{"TrailingComma", kAck + ","},
        RefusedCase{"TrailingNul", kAck + std::string(1, '\0')},
        RefusedCase{"ByteOrderMark", "\xEF\xBB\xBF" + kAck},
        RefusedCase{"Truncated", kAck.substr(0, kAck.size() - 1)}, RefusedCase{"Empty", ""},
        RefusedCase{"WhitespaceOnly", " \n"}),
    [](const auto& test) { return test.param.name; });

// The lone low surrogate escape is kept apart: it is refused by the same rule as the
// lone high surrogate, but the JSON library answers it on its own path.
TEST(DecoderRefusesText, LoneLowSurrogate) {
  MessageDecoder decoder;
  EXPECT_FALSE(
      decoder.decode(R"({"type":"challenge-ack","v":1,"requestId":"\udc00","agentChallenge":"a"})")
          .has_value());
}

// Numbers too large for the JSON library are JSON all the same: where an
// integer is required they are refused like any other number out of its width,
// and a string that merely looks like one is left as it is.
TEST(DecoderLargeNumbers, AreRefusedWhereAnIntegerIsRequired) {
  MessageDecoder decoder;
  for (const char* literal : {"18446744073709551616", "-9223372036854775809", "1e400"}) {
    EXPECT_FALSE(decoder.decode(pointer("0", literal)).has_value()) << literal;
    EXPECT_FALSE(decoder.decode(scroll(literal)).has_value()) << literal;
  }
  const auto message = decoder.decode(command_message(
      R"({"type":"status","note":"18446744073709551616 \"1e400\"","n":[1e400,-1e400]})"));
  EXPECT_TRUE(message.has_value());
  // A malformed number stays malformed.
  EXPECT_FALSE(decoder.decode(pointer("01e400", "0")).has_value());
  EXPECT_FALSE(decoder.decode(pointer("-", "0")).has_value());
}

// The status command ignores its extra members, so they can carry any nesting; the
// outermost object is level 1 and the command object level 2.
std::string nested_to_depth(std::size_t depth) {
  const std::size_t arrays = depth - 2;
  return command_message(R"({"type":"status","deep":)" + std::string(arrays, '[') +
                         std::string(arrays, ']') + "}");
}

TEST(DecoderDepth, AcceptsLevel127AndRefusesLevel128) {
  MessageDecoder decoder;
  EXPECT_TRUE(decoder.decode(nested_to_depth(127)).has_value());
  EXPECT_FALSE(decoder.decode(nested_to_depth(128)).has_value());
  // The decoder is reused after a failure.
  EXPECT_TRUE(decoder.decode(nested_to_depth(3)).has_value());
}

TEST(PermissionNames, SixteenSpellingsRoundTripInPositionOrder) {
  const std::vector<std::string_view> spellings{
      "VIEW_SCREEN",     "RECEIVE_AUDIO",  "SEND_POINTER",    "SEND_KEYBOARD",
      "SEND_TOUCH",      "SEND_PEN",       "SEND_GAMEPAD",    "READ_CLIPBOARD",
      "WRITE_CLIPBOARD", "SEND_FILE",      "RECEIVE_FILE",    "CREATE_VIRTUAL_DISPLAY",
      "SWITCH_MONITOR",  "REQUEST_REBOOT", "LOCAL_RECORDING", "REVERSE_SHARE"};
  ASSERT_EQ(spellings.size(), kPermissionNameCount);
  for (std::size_t i = 0; i < spellings.size(); ++i) {
    const auto name = parse_permission_name(spellings[i]);
    ASSERT_TRUE(name.has_value()) << spellings[i];
    EXPECT_EQ(static_cast<std::size_t>(*name), i);
    EXPECT_EQ(to_string(*name), spellings[i]);
  }
  EXPECT_FALSE(parse_permission_name("").has_value());
  EXPECT_FALSE(parse_permission_name("Send_Pointer").has_value());
  EXPECT_FALSE(parse_permission_name("SEND_POINTER ").has_value());
}

}  // namespace
}  // namespace ombrelin::native_protocol
