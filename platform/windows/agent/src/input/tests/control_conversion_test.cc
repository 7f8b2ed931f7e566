#include "input/control_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "input/tests/control_messages.h"

namespace ombrelin::input {
namespace {

namespace event = protocol::input_event;
namespace message = testing::message;
using native_protocol::ControlMessage;
using State = ControlSequenceState;

const protocol::Uuid kSessionId{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr auto kMaxCounter = std::numeric_limits<std::uint64_t>::max();

auto convert(State& state, const ControlMessage& control) {
  return convert_control_message(state, control, kSessionId, "primary");
}

// "move" for the expected absolute move on "primary", "b<n>+" / "b<n>-" for
// button presses and releases.
std::string summary(const std::vector<protocol::InputEnvelope>& envelopes) {
  std::string out;
  for (const auto& envelope : envelopes) {
    if (const auto* move = std::get_if<event::PointerMove>(&*envelope.event)) {
      out += move->display_id == "primary" && move->mode == event::kAbsolutePointer ? "move"
                                                                                    : "bad move";
    } else if (const auto* button = std::get_if<event::PointerButton>(&*envelope.event)) {
      out += " b" + std::to_string(button->button) + (button->pressed ? "+" : "-");
    }
  }
  return out;
}

TEST(ControlConversionTest, PointerButtonsAreDiffedAgainstTheLastState) {
  const struct {
    std::uint8_t before, after;
    const char* events;
  } cases[] = {{0, 5, "move b1+ b3+"},
               {5, 5, "move"},
               {5, 0, "move b1- b3-"},
               {1, 2, "move b1- b2+"},
               {0, 31, "move b1+ b2+ b3+ b4+ b5+"}};
  for (const auto& c : cases) {
    State state{std::nullopt, 0, c.before};
    const auto envelopes = convert(state, message::pointer(0, c.after));
    ASSERT_TRUE(envelopes);
    EXPECT_EQ(summary(*envelopes), c.events) << int{c.before} << " -> " << int{c.after};
    EXPECT_EQ(state.buttons, c.after);
  }
}

TEST(ControlConversionTest, EnvelopesCarryTheSessionTheNextSequenceNumbersAndEpochOne) {
  State state{std::nullopt, 1, 0};
  const auto envelopes = convert(state, message::pointer(0, 3));
  ASSERT_TRUE(envelopes);
  for (std::uint64_t i = 0; i < envelopes->size(); ++i) {
    EXPECT_EQ((*envelopes)[i].session_id, protocol::Bytes(kSessionId.begin(), kSessionId.end()));
    EXPECT_EQ((*envelopes)[i].sequence, i + 2);
    EXPECT_EQ((*envelopes)[i].permission_epoch, 1U);
  }
  EXPECT_EQ(state.event_counter, 4U);
  const auto key = convert(state, message::key(1, "ControlRight", true, 0x02));
  ASSERT_TRUE(key);
  EXPECT_EQ(std::get<event::KeyboardKey>(*key->front().event).modifiers, 0x10U);
}

struct RefusalCase {
  const char* name;
  ControlMessage message;
  std::optional<ControlConversionError> error;  // none: accepted
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class RefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, ARefusedMessageLeavesTheStateAsItWas) {
  const State before{4, 9, 2};
  State state = before;
  const auto envelopes = convert(state, GetParam().message);
  if (GetParam().error) {
    ASSERT_FALSE(envelopes);
    EXPECT_EQ(envelopes.error(), *GetParam().error);
    EXPECT_EQ(state, before);
  } else {
    EXPECT_TRUE(envelopes);
  }
}

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr auto kRange = ControlConversionError::kOutOfRange;

INSTANTIATE_TEST_SUITE_P(
    Values, RefusalTest,
    ::testing::Values(
        RefusalCase{"x_nan", message::pointer(5, 0, std::nanf("")), kRange},
        RefusalCase{"y_minus_inf", message::pointer(5, 0, 0, -kInf), kRange},
        RefusalCase{"x_inf", message::pointer(5, 0, kInf), kRange},
        RefusalCase{"x_1_0000001", message::pointer(5, 0, std::nextafter(1.0F, 2.0F)), kRange},
        RefusalCase{"x_minus_zero", message::pointer(5, 0, -0.0F, 1.0F), std::nullopt},
        RefusalCase{"buttons_32", message::pointer(5, 32), kRange},
        RefusalCase{"modifiers_15", message::key(5, "KeyA", true, 15), std::nullopt},
        RefusalCase{"modifiers_16", message::key(5, "KeyA", true, 16), kRange},
        RefusalCase{"unknown_key", message::key(5, "keya", true),
                    ControlConversionError::kUnknownKey},
        RefusalCase{"scroll_12000", message::scroll(5, -12000, 12000), std::nullopt},
        RefusalCase{"scroll_12001", message::scroll(5, 0, 12001), kRange},
        RefusalCase{"scroll_min", message::scroll(5, std::numeric_limits<std::int32_t>::min(), 0),
                    kRange},
        RefusalCase{"version_2", native_protocol::control::Stop{2, 5},
                    ControlConversionError::kVersion},
        RefusalCase{"seq_equal", message::pause(4, true), ControlConversionError::kStaleSequence}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(ControlConversionTest, SeqStartsAnywhereThenGrowsAndReleaseAllConsumesIt) {
  State state;
  const auto released = convert(state, message::release_all(0));
  ASSERT_TRUE(released);
  EXPECT_TRUE(released->empty());
  EXPECT_FALSE(convert(state, message::pointer(0)));
  EXPECT_FALSE(convert(state, native_protocol::control::Stop{2, 1}));
  EXPECT_TRUE(convert(state, message::pointer(1)));  // the wrong version did not use up 1
  EXPECT_EQ(state, (State{1, 1, 0}));
}

TEST(ControlConversionTest, AnEventCounterThatWouldWrapRefusesTheMessage) {
  State state{std::nullopt, kMaxCounter - 1, 0};
  const State before = state;
  const auto two = convert(state, message::pointer(1, 1));  // move and press: two numbers
  ASSERT_FALSE(two);
  EXPECT_EQ(two.error(), ControlConversionError::kCounterExhausted);
  EXPECT_EQ(state, before);
  const auto one = convert(state, message::scroll(1, 0, 1));
  ASSERT_TRUE(one);
  EXPECT_EQ(one->front().sequence, kMaxCounter);
  EXPECT_FALSE(convert(state, message::stop(2)));
  EXPECT_TRUE(convert(state, message::release_all(2)));  // needs no number
}

}  // namespace
}  // namespace ombrelin::input
