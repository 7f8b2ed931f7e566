#include "input/windows_input_adapter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "input/key_table.h"
#include "input/tests/desktop_model.h"
#include "input/tests/fake_input_api.h"

namespace ombrelin::input {
namespace {

using os::InputRecord;
using protocol::InputEvent;
using testing::FakeInputApi;
using testing::key;
using testing::mouse;
namespace event = protocol::input_event;

constexpr char kBlocked[] =
    "Windows adapter operation failed: not all input events were sent. they may have been "
    "blocked by UIPI";
constexpr char kUnsupported[] = "input event is unsupported by the Windows adapter";
constexpr std::uint32_t kAbsoluteMove = 0x8001;
constexpr std::uint16_t kVkA = 0x41;
constexpr std::uint16_t kVkLeftControl = 0xA2;
constexpr std::uint16_t kVkLeftShift = 0xA0;
constexpr std::uint16_t kVkLeftMenu = 0xA4;
constexpr std::uint16_t kVkRightMenu = 0xA5;
constexpr std::uint16_t kVkQ = 0x51;
constexpr std::uint16_t kVkLeftWin = 0x5B;

display::DisplayRecord primary_display() {
  display::DisplayRecord display;
  display.id = display.device_name = display.name = "\\\\.\\DISPLAY1";
  display.width = 1920;
  display.height = 1080;
  display.primary = true;
  return display;
}

InputEvent move(float x, float y, std::uint32_t mode = event::kAbsolutePointer) {
  return event::PointerMove{"\\\\.\\DISPLAY1", mode, x, y};
}
InputEvent button(std::uint32_t number, bool pressed) {
  return event::PointerButton{number, pressed};
}
InputEvent keyboard(const char* name, std::uint8_t message_modifiers, bool down) {
  return event::KeyboardKey{usage_for_key_name(name).value(),
                            compute_modifier_byte(message_modifiers, name, down), down};
}

// The error text, or "" on success.
std::string outcome(const std::expected<void, InputError>& result) {
  return result ? std::string() : std::string(to_string(result.error()));
}

class AdapterTest : public ::testing::Test {
 protected:
  std::string apply(const InputEvent& input) { return outcome(adapter_->apply_event(input)); }

  FakeInputApi api_;
  std::unique_ptr<InputAdapter> adapter_ = start_input_adapter(api_, primary_display());
};

TEST_F(AdapterTest, AbsoluteMovesSpanTheScreen) {
  EXPECT_EQ(apply(move(0, 0)), "");
  EXPECT_EQ(apply(move(1, 1)), "");
  EXPECT_EQ(apply(move(0.5f, 0.5f)), "");
  EXPECT_EQ(api_.sent(),
            (std::vector{mouse(0, 0, 0, kAbsoluteMove), mouse(65535, 65535, 0, kAbsoluteMove),
                         mouse(32785, 32798, 0, kAbsoluteMove)}));
}

TEST_F(AdapterTest, RelativeMoveStartsFromTheCursor) {
  api_.set_cursor(os::CursorPoint{100, 200});
  EXPECT_EQ(apply(move(10.5f, -20.4f, event::kRelativePointer)), "");
  EXPECT_EQ(api_.sent(), (std::vector{mouse(3791, 10933, 0, kAbsoluteMove)}));
}

// A relative move from wherever the cursor is still lands on the display.
TEST_F(AdapterTest, RelativeMoveStaysOnTheDisplay) {
  api_.set_cursor(os::CursorPoint{1900, 1070});
  EXPECT_EQ(apply(move(100, 100, event::kRelativePointer)), "");
  api_.set_cursor(os::CursorPoint{-2500, 300});
  EXPECT_EQ(apply(move(0, 0, event::kRelativePointer)), "");
  EXPECT_EQ(api_.sent(), (std::vector{mouse(65535, 65535, 0, kAbsoluteMove),
                                      mouse(0, 18221, 0, kAbsoluteMove)}));
}

// Screen metrics smaller than the display read at the start (the resolution
// went down since): the far half of the display lands on the screen's edge,
// never beyond it.
TEST_F(AdapterTest, MovesPastAShrunkScreenLandOnItsEdge) {
  api_.set_screen(1280, 720);
  EXPECT_EQ(apply(move(1, 1)), "");
  EXPECT_EQ(apply(move(0.5f, 0.5f)), "");
  EXPECT_EQ(apply(move(0.25f, 0.25f)), "");
  EXPECT_EQ(api_.sent(), (std::vector{mouse(65535, 65535, 0, kAbsoluteMove),
                                      mouse(49190, 49220, 0, kAbsoluteMove),
                                      mouse(24595, 24610, 0, kAbsoluteMove)}));
}

TEST_F(AdapterTest, RelativeMoveWithoutCursorFails) {
  api_.set_cursor(std::nullopt);
  EXPECT_EQ(apply(move(1, 1, event::kRelativePointer)),
            "Windows adapter operation failed: could not get the current mouse location");
  EXPECT_EQ(api_.calls(), 0);
}

class ScreenMetricTest : public AdapterTest,
                         public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(ScreenMetricTest, UnusableMetricFailsBeforeSending) {
  api_.set_screen(GetParam().first, GetParam().second);
  EXPECT_EQ(apply(move(0.5f, 0.5f)),
            "Windows adapter operation failed: could not get the dimensions of the screen");
  EXPECT_EQ(api_.calls(), 0);
}

INSTANTIATE_TEST_SUITE_P(Metrics, ScreenMetricTest,
                         ::testing::Values(std::pair{0, 1080}, std::pair{1920, 0}, std::pair{0, 0},
                                           std::pair{1, 1}));

class UnsupportedEventTest : public AdapterTest,
                             public ::testing::WithParamInterface<InputEvent> {};

TEST_P(UnsupportedEventTest, IsRefusedWithoutSending) {
  EXPECT_EQ(apply(GetParam()), kUnsupported);
  EXPECT_EQ(api_.calls(), 0);
}

INSTANTIATE_TEST_SUITE_P(Events, UnsupportedEventTest,
                         ::testing::Values(move(0, 0, 0), move(0, 0, 3), button(0, true),
                                           button(6, true), button(6, false),
                                           InputEvent(event::KeyboardKey{0x2D, 0, true}),
                                           InputEvent(event::KeyboardKey{4, 0x100, true}),
                                           InputEvent(event::KeyboardKey{0xE8, 0x01, true}),
                                           InputEvent(event::Touch{}),
                                           InputEvent(event::PeerPause{"peer", true}),
                                           InputEvent(event::PeerStop{"peer_stop"})));

struct ButtonCase {
  std::uint32_t number;
  bool pressed;
  std::int32_t data;
  std::uint32_t flags;
};

class ButtonTest : public AdapterTest, public ::testing::WithParamInterface<ButtonCase> {};

// Each case starts from a fresh adapter, so every release is of a button never
// pressed, which is still sent.
TEST_P(ButtonTest, SendsOneRecord) {
  EXPECT_EQ(apply(button(GetParam().number, GetParam().pressed)), "");
  EXPECT_EQ(api_.sent(), (std::vector{mouse(0, 0, GetParam().data, GetParam().flags)}));
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, ButtonTest,
    ::testing::Values(ButtonCase{1, true, 0, 0x0002}, ButtonCase{1, false, 0, 0x0004},
                      ButtonCase{2, true, 0, 0x0008}, ButtonCase{2, false, 0, 0x0010},
                      ButtonCase{3, true, 0, 0x0020}, ButtonCase{3, false, 0, 0x0040},
                      ButtonCase{4, true, 1, 0x0080}, ButtonCase{4, false, 1, 0x0100},
                      ButtonCase{5, true, 2, 0x0080}, ButtonCase{5, false, 2, 0x0100}));

struct SwapCase {
  std::uint32_t number;
  std::int32_t data;
  std::uint32_t down;  // the physical button's flags with swapped buttons
  std::uint32_t up;
};

class SwappedButtonTest : public AdapterTest, public ::testing::WithParamInterface<SwapCase> {};

// With the buttons swapped for the left hand, the remote party's primary button
// is the local user's primary one, which is the physical right button.
TEST_P(SwappedButtonTest, PressesTheLocalUsersButton) {
  api_.set_swapped(true);
  EXPECT_EQ(apply(button(GetParam().number, true)), "");
  EXPECT_EQ(apply(button(GetParam().number, false)), "");
  EXPECT_EQ(api_.sent(), (std::vector{mouse(0, 0, GetParam().data, GetParam().down),
                                      mouse(0, 0, GetParam().data, GetParam().up)}));
}

INSTANTIATE_TEST_SUITE_P(Buttons, SwappedButtonTest,
                         ::testing::Values(SwapCase{1, 0, 0x0008, 0x0010},
                                           SwapCase{2, 0, 0x0002, 0x0004},
                                           SwapCase{3, 0, 0x0020, 0x0040},
                                           SwapCase{4, 1, 0x0080, 0x0100},
                                           SwapCase{5, 2, 0x0080, 0x0100}));

// The local user may swap the buttons at any time: each press follows the
// setting of its moment, and each release goes to the button its press went to.
TEST_F(AdapterTest, ASwapWhileHeldReleasesThePressedButton) {
  EXPECT_EQ(apply(button(1, true)), "");
  api_.set_swapped(true);
  EXPECT_EQ(apply(button(2, true)), "");  // the physical left button, already down
  EXPECT_EQ(apply(button(1, false)), "");
  EXPECT_EQ(apply(button(1, true)), "");
  api_.set_swapped(false);
  EXPECT_EQ(outcome(adapter_->release_all()), "");
  const std::vector<InputRecord> sent = api_.take_sent();
  EXPECT_EQ(std::vector(sent.begin(), sent.begin() + 4),
            (std::vector{mouse(0, 0, 0, 0x0002), mouse(0, 0, 0, 0x0002), mouse(0, 0, 0, 0x0004),
                         mouse(0, 0, 0, 0x0008)}));
  EXPECT_TRUE(testing::pressed_on_desktop(sent).empty());
  // A release of a button not held follows the setting of the moment.
  EXPECT_EQ(apply(button(2, false)), "");
  EXPECT_EQ(api_.sent(), (std::vector{mouse(0, 0, 0, 0x0010)}));
}

// A release Windows refused stays owed to the physical button pressed, whatever
// the setting is when it is sent again.
TEST_F(AdapterTest, AnOwedButtonReleaseKeepsItsPhysicalButton) {
  api_.set_swapped(true);
  EXPECT_EQ(apply(button(1, true)), "");
  api_.accept_calls(0);
  EXPECT_EQ(apply(button(1, false)), kBlocked);
  api_.set_swapped(false);
  api_.accept_calls(std::nullopt);
  api_.clear_sent();
  EXPECT_EQ(apply(move(0, 0)), "");
  EXPECT_EQ(api_.take_sent(), (std::vector{mouse(0, 0, 0, 0x0010), mouse(0, 0, 0, kAbsoluteMove)}));
  EXPECT_EQ(outcome(adapter_->release_all()), "");
  EXPECT_TRUE(api_.sent().empty());
}

struct WheelCase {
  event::ScrollDelta delta;
  std::vector<InputRecord> records;
};

class WheelTest : public AdapterTest, public ::testing::WithParamInterface<WheelCase> {};

TEST_P(WheelTest, SendsVerticalThenHorizontal) {
  EXPECT_EQ(apply(GetParam().delta), "");
  EXPECT_EQ(api_.sent(), GetParam().records);
}

INSTANTIATE_TEST_SUITE_P(
    Deltas, WheelTest,
    ::testing::Values(WheelCase{{2, -1}, {mouse(0, 0, -240, 0x0800), mouse(0, 0, -120, 0x1000)}},
                      WheelCase{{0, 0}, {}}, WheelCase{{-3, 0}, {mouse(0, 0, 360, 0x0800)}},
                      WheelCase{{0, 12000}, {mouse(0, 0, 1440000, 0x1000)}}));

TEST_F(AdapterTest, ExtendedFlagOnlyForExtendedKeys) {
  EXPECT_EQ(apply(keyboard("ArrowLeft", 0, true)), "");
  EXPECT_EQ(apply(keyboard("KeyA", 0, true)), "");
  EXPECT_EQ(apply(keyboard("ArrowLeft", 0, false)), "");
  EXPECT_EQ(api_.sent(), (std::vector{key(0x25, 1), key(kVkA, 0), key(0x25, 3)}));
}

TEST_F(AdapterTest, ModifiersAreSynchronisedBeforeEachKey) {
  EXPECT_EQ(apply(keyboard("KeyA", 15, true)), "");
  EXPECT_EQ(api_.take_sent(), (std::vector{key(kVkLeftControl, 0), key(kVkLeftShift, 0),
                                           key(kVkLeftMenu, 0), key(kVkLeftWin, 0), key(kVkA, 0)}));
  EXPECT_EQ(apply(keyboard("KeyA", 0, false)), "");
  EXPECT_EQ(api_.take_sent(), (std::vector{key(kVkLeftControl, 2), key(kVkLeftShift, 2),
                                           key(kVkLeftMenu, 2), key(kVkLeftWin, 2), key(kVkA, 2)}));
  // Modifier keys themselves travel only in the byte.
  EXPECT_EQ(apply(keyboard("ControlLeft", 0, true)), "");
  EXPECT_EQ(apply(keyboard("ControlRight", kMessageControl, true)), "");
  EXPECT_EQ(api_.take_sent(), (std::vector{key(0xA3, 1)}));
}

struct KeyStep {
  const char* name;
  std::uint8_t message_modifiers;
  bool down;
  std::vector<InputRecord> records;
};

struct KeySequence {
  std::string name;
  std::vector<KeyStep> steps;
};

void PrintTo(const KeySequence& test, std::ostream* out) { *out << test.name; }

class ModifierSideTest : public AdapterTest, public ::testing::WithParamInterface<KeySequence> {};

// Left and right modifiers are distinct keys, and no held modifier is let go of
// while the next key still needs it.
TEST_P(ModifierSideTest, SendsEachSideAsItself) {
  for (const KeyStep& step : GetParam().steps) {
    EXPECT_EQ(apply(keyboard(step.name, step.message_modifiers, step.down)), "");
    EXPECT_EQ(api_.take_sent(), step.records) << step.name << (step.down ? " down" : " up");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ModifierSideTest,
    ::testing::Values(
        // AltGr+Q: right Alt stays down while Q goes down and up.
        KeySequence{"AltRightThenQ",
                    {{"AltRight", kMessageAlt, true, {key(kVkRightMenu, 1)}},
                     {"KeyQ", kMessageAlt, true, {key(kVkQ, 0)}},
                     {"KeyQ", kMessageAlt, false, {key(kVkQ, 2)}},
                     {"AltRight", 0, false, {key(kVkRightMenu, 3)}}}},
        KeySequence{"AltLeftThenQ",
                    {{"AltLeft", kMessageAlt, true, {key(kVkLeftMenu, 0)}},
                     {"KeyQ", kMessageAlt, true, {key(kVkQ, 0)}},
                     {"AltLeft", 0, false, {key(kVkLeftMenu, 2)}}}},
        KeySequence{"BothAlts",
                    {{"AltLeft", kMessageAlt, true, {key(kVkLeftMenu, 0)}},
                     {"AltRight", kMessageAlt, true, {key(kVkRightMenu, 1)}},
                     {"AltLeft", kMessageAlt, false, {key(kVkLeftMenu, 2)}},
                     {"KeyQ", kMessageAlt, true, {key(kVkQ, 0)}},
                     {"AltRight", 0, false, {key(kVkRightMenu, 3)}}}},
        // The right key goes up while Alt is still reported: left Alt takes
        // over before right Alt is released.
        KeySequence{
            "RightHandsOverToLeft",
            {{"AltRight", kMessageAlt, true, {key(kVkRightMenu, 1)}},
             {"AltRight", kMessageAlt, false, {key(kVkLeftMenu, 0), key(kVkRightMenu, 3)}}}},
        KeySequence{"RightMeta",
                    {{"MetaRight", kMessageMeta, true, {key(0x5C, 0)}},
                     {"KeyE", kMessageMeta, true, {key(0x45, 0)}},
                     {"KeyE", 0, false, {key(0x5C, 2), key(0x45, 2)}}}},
        KeySequence{"RightControlC",
                    {{"ControlRight", kMessageControl, true, {key(0xA3, 1)}},
                     {"KeyC", kMessageControl, true, {key(0x43, 0)}},
                     {"KeyC", kMessageControl, false, {key(0x43, 2)}},
                     {"ControlRight", 0, false, {key(0xA3, 3)}}}}),
    [](const auto& test) { return test.param.name; });

TEST_F(AdapterTest, ScanCodeFollowsALayoutSwitch) {
  EXPECT_EQ(apply(keyboard("KeyA", 0, true)), "");
  api_.switch_layout(0x200);
  EXPECT_EQ(apply(keyboard("KeyA", 0, false)), "");
  EXPECT_EQ(api_.sent(), (std::vector{key(kVkA, 0), key(kVkA, 2, 0x200)}));
}

TEST_F(AdapterTest, FailedModifierStepKeepsTheOldByte) {
  api_.accept_calls(1);
  EXPECT_EQ(apply(keyboard("KeyA", kMessageControl | kMessageShift, true)), kBlocked);
  EXPECT_EQ(api_.take_sent(), (std::vector{key(kVkLeftControl, 0)}));
  api_.accept_calls(std::nullopt);
  EXPECT_EQ(apply(keyboard("KeyA", kMessageControl | kMessageShift, true)), "");
  EXPECT_EQ(api_.sent(), (std::vector{key(kVkLeftControl, 0), key(kVkLeftShift, 0), key(kVkA, 0)}));
}

TEST_F(AdapterTest, ReleaseAllLetsGoOfEverythingOnce) {
  EXPECT_EQ(apply(button(3, true)), "");
  EXPECT_EQ(apply(keyboard("KeyA", kMessageShift, true)), "");
  api_.clear_sent();
  EXPECT_EQ(outcome(adapter_->release_all()), "");
  EXPECT_EQ(api_.take_sent(),
            (std::vector{key(kVkA, 2), key(kVkLeftShift, 2), mouse(0, 0, 0, 0x0040)}));
  EXPECT_EQ(outcome(adapter_->release_all()), "");
  EXPECT_TRUE(api_.sent().empty());
  // The modifier byte is back to 0, so Shift is pressed again.
  EXPECT_EQ(apply(keyboard("KeyA", kMessageShift, true)), "");
  EXPECT_EQ(api_.sent(), (std::vector{key(kVkLeftShift, 0), key(kVkA, 0)}));
}

// A blocked press still counts as held; a release Windows refused stays owed
// and is sent again by the next release_all, until Windows takes it.
TEST_F(AdapterTest, RefusedReleasesAreSentAgainUntilTaken) {
  api_.accept_calls(0);
  EXPECT_EQ(apply(keyboard("KeyA", 0, true)), kBlocked);
  EXPECT_EQ(apply(button(2, true)), kBlocked);
  EXPECT_EQ(outcome(adapter_->release_all()), kBlocked);
  EXPECT_EQ(outcome(adapter_->release_all()), kBlocked);
  EXPECT_EQ(api_.calls(), 6);
  api_.accept_calls(std::nullopt);
  EXPECT_EQ(outcome(adapter_->release_all()), "");
  EXPECT_EQ(api_.take_sent(), (std::vector{key(kVkA, 2), mouse(0, 0, 0, 0x0010)}));
  EXPECT_EQ(outcome(adapter_->release_all()), "");
  EXPECT_TRUE(api_.sent().empty());
}

// The remote side's own release of a key, refused by Windows, is not forgotten.
TEST_F(AdapterTest, ARefusedKeyReleaseIsReleasedAgainLater) {
  EXPECT_EQ(apply(keyboard("KeyA", 0, true)), "");
  api_.accept_calls(0);
  EXPECT_EQ(apply(keyboard("KeyA", 0, false)), kBlocked);
  api_.accept_calls(std::nullopt);
  api_.clear_sent();
  EXPECT_EQ(outcome(adapter_->release_all()), "");
  EXPECT_EQ(api_.sent(), (std::vector{key(kVkA, 2)}));
}

TEST_F(AdapterTest, DisposalReleasesWhatWindowsStillHolds) {
  EXPECT_EQ(apply(keyboard("KeyA", kMessageAlt, true)), "");
  EXPECT_EQ(apply(button(4, true)), "");
  // Left Control is pressed, then its release fails in release_all: Windows
  // still holds it, and disposal tries again.
  EXPECT_EQ(apply(keyboard("KeyB", kMessageAlt | kMessageControl, true)), "");
  api_.accept_calls(0);
  EXPECT_EQ(outcome(adapter_->release_all()), kBlocked);
  api_.accept_calls(std::nullopt);
  api_.clear_sent();
  adapter_.reset();
  const auto released = api_.sent();
  EXPECT_EQ(released.size(), 5u);
  for (const InputRecord& record : {key(kVkA, 2), key(kVkLeftMenu, 2), key(0x42, 2),
                                    key(kVkLeftControl, 2), mouse(0, 0, 1, 0x0100)}) {
    EXPECT_EQ(std::ranges::count(released, record), 1) << ::testing::PrintToString(record);
  }
}

}  // namespace
}  // namespace ombrelin::input
