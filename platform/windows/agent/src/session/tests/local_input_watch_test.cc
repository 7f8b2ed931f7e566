#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/agent_window_shield.h"
#include "session/consent_prompt.h"
#include "session/physical_input.h"
#include "session/tests/fake_window_system.h"

namespace ombrelin::session {
namespace {

using os::CursorPoint;
using os::InputVerdict;
using os::LowLevelButton;
using os::LowLevelInput;
using os::LowLevelKind;

LowLevelInput move(std::int32_t x, std::int32_t y, bool injected = false) {
  return os::mouse_input(LowLevelKind::kMove, LowLevelButton::kNone, {x, y}, injected);
}
LowLevelInput press(LowLevelButton button, bool injected) {
  return os::mouse_input(LowLevelKind::kButtonPress, button, {50, 50}, injected);
}
LowLevelInput release(LowLevelButton button, bool injected) {
  return os::mouse_input(LowLevelKind::kButtonRelease, button, {50, 50}, injected);
}
LowLevelInput key(std::uint32_t vk, bool down, bool injected) {
  return os::key_input(down ? LowLevelKind::kKeyPress : LowLevelKind::kKeyRelease, vk, injected);
}

// Local activity -------------------------------------------------------------------

struct ActivityCase {
  std::string name;
  std::vector<LowLevelInput> inputs;
  std::vector<bool> counted;
};

void PrintTo(const ActivityCase& test, std::ostream* out) { *out << test.name; }

class LocalActivity : public ::testing::TestWithParam<ActivityCase> {};

TEST_P(LocalActivity, CountsOnlyTheLocalUsersHands) {
  LocalActivityWatch watch;
  std::vector<bool> counted;
  for (const LowLevelInput& input : GetParam().inputs) {
    counted.push_back(watch.counts(input));
  }
  EXPECT_EQ(counted, GetParam().counted);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, LocalActivity,
    ::testing::Values(
        ActivityCase{"KeyAndButtonPressesCount",
                     {key('A', true, false), key('A', false, false),
                      press(LowLevelButton::kRight, false), release(LowLevelButton::kRight, false)},
                     {true, false, true, false}},
        ActivityCase{"InjectedNeverCounts",
                     {key('A', true, true), press(LowLevelButton::kLeft, true), move(0, 0, true),
                      move(900, 900, true)},
                     {false, false, false, false}},
        // Small steps add up; after counting, the next few pixels start again.
        ActivityCase{"MovementBeyondAFewPixels",
                     {move(10, 10), move(12, 11), move(14, 12), move(15, 12), move(17, 12)},
                     {false, false, false, true, false}},
        ActivityCase{
            "ExactlyTheThresholdDoesNotCount", {move(10, 10), move(14, 10)}, {false, false}},
        // A remote jump of the pointer is no distance the local mouse travelled.
        ActivityCase{
            "RemoteJumpIsNotLocalMovement",
            {move(10, 10), move(12, 10), move(800, 600, true), move(801, 600), move(803, 601)},
            {false, false, false, false, false}},
        // The echo of an earlier injected move is nobody's hand either.
        ActivityCase{"EchoOfAnInjectedMoveIsNotLocalMovement",
                     {move(1919, 1079, true), move(960, 540, true), move(1919, 1079),
                      move(960, 540), move(961, 540), move(970, 540)},
                     {false, false, false, false, false, true}}),
    [](const auto& test) { return test.param.name; });

// The emergency shortcut ----------------------------------------------------------------

using Verdict = EmergencyShortcutWatch::Verdict;

constexpr std::uint32_t kF12 = os::kVkF12;
constexpr std::uint32_t kLeftControl = 0xA2;
constexpr std::uint32_t kRightControl = 0xA3;
constexpr std::uint32_t kLeftAlt = 0xA4;
constexpr std::uint32_t kRightAlt = 0xA5;
constexpr std::uint32_t kLeftShift = 0xA0;
constexpr std::uint32_t kLeftWin = 0x5B;

struct ShortcutCase {
  std::string name;
  std::vector<LowLevelInput> inputs;
  Verdict last;
};

void PrintTo(const ShortcutCase& test, std::ostream* out) { *out << test.name; }

class Shortcut : public ::testing::TestWithParam<ShortcutCase> {};

TEST_P(Shortcut, JudgesTheLastKey) {
  EmergencyShortcutWatch watch;
  Verdict verdict = Verdict::kPass;
  for (const LowLevelInput& input : GetParam().inputs) {
    verdict = watch.judge(input);
  }
  EXPECT_EQ(verdict, GetParam().last);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Shortcut,
    ::testing::Values(
        ShortcutCase{"LocalChordStops",
                     {key(kLeftControl, true, false), key(kLeftAlt, true, false),
                      key(kLeftShift, true, false), key(kF12, true, false)},
                     Verdict::kStop},
        ShortcutCase{"EitherSideStops",
                     {key(kRightControl, true, false), key(kRightAlt, true, false),
                      key(0xA1, true, false), key(kF12, true, false)},
                     Verdict::kStop},
        ShortcutCase{
            "RemoteMetaDoesNotMatter",
            {key(kLeftWin, true, true), key(kLeftControl, true, false), key(kLeftAlt, true, false),
             key(kLeftShift, true, false), key(kF12, true, false)},
            Verdict::kStop},
        ShortcutCase{"RemoteModifiersDoNotCompleteALocalF12",
                     {key(kLeftControl, true, true), key(kLeftAlt, true, true),
                      key(kLeftShift, true, false), key(kF12, true, false)},
                     Verdict::kPass},
        ShortcutCase{
            "ReleasedModifierNoLongerCounts",
            {key(kLeftControl, true, false), key(kLeftAlt, true, false),
             key(kLeftShift, true, false), key(kLeftShift, false, false), key(kF12, true, false)},
            Verdict::kPass},
        ShortcutCase{"InjectedChordIsDropped",
                     {key(kLeftControl, true, true), key(kLeftAlt, true, true),
                      key(kLeftShift, true, true), key(kF12, true, true)},
                     Verdict::kDrop},
        ShortcutCase{"InjectedF12OnALocalChordIsDropped",
                     {key(kLeftControl, true, false), key(kLeftAlt, true, false),
                      key(kLeftShift, true, false), key(kF12, true, true)},
                     Verdict::kDrop},
        ShortcutCase{"ReleaseOfADroppedF12IsDropped",
                     {key(kLeftControl, true, true), key(kLeftAlt, true, true),
                      key(kLeftShift, true, true), key(kF12, true, true), key(kF12, false, true)},
                     Verdict::kDrop},
        ShortcutCase{"InjectedF12AloneGoesThrough",
                     {key(kLeftControl, true, true), key(kF12, true, true), key(kF12, false, true)},
                     Verdict::kPass}),
    [](const auto& test) { return test.param.name; });

// The agent's windows ---------------------------------------------------------------------

constexpr os::WindowHandle kIndicator = 100;
constexpr os::WindowHandle kConsentBox = 101;
constexpr os::WindowHandle kOtherDialog = 102;
constexpr os::WindowHandle kEditor = 103;

class Shield : public ::testing::Test {
 protected:
  Shield() {
    windows_.add_foreign_window(kIndicator, std::string(kIndicatorClassName), "any title");
    windows_.add_foreign_window(kConsentBox, "#32770", std::string(kConsentCaption));
    windows_.add_foreign_window(kOtherDialog, "#32770", "Save As");
    windows_.add_foreign_window(kEditor, "Notepad", std::string(kConsentCaption));
  }

  testing::FakeWindowSystem windows_;
  AgentWindowShield shield_{windows_};
};

TEST_F(Shield, KnowsTheAgentsWindowsByClassAndCaption) {
  for (const auto& [window, agent] : {std::pair{kIndicator, true}, std::pair{kConsentBox, true},
                                      std::pair{kOtherDialog, false}, std::pair{kEditor, false}}) {
    windows_.set_window_at(window);
    EXPECT_EQ(shield_.judge(press(LowLevelButton::kLeft, true)),
              agent ? InputVerdict::kDrop : InputVerdict::kPass)
        << window;
    EXPECT_EQ(shield_.judge(release(LowLevelButton::kLeft, true)),
              agent ? InputVerdict::kDrop : InputVerdict::kPass)
        << window;
  }
}

// A press that went elsewhere is released wherever the pointer is by then, so
// that nothing stays held; a dropped press takes its release with it.
TEST_F(Shield, ReleasesFollowTheirPresses) {
  windows_.set_window_at(kEditor);
  EXPECT_EQ(shield_.judge(press(LowLevelButton::kLeft, true)), InputVerdict::kPass);
  windows_.set_window_at(kIndicator);
  EXPECT_EQ(shield_.judge(release(LowLevelButton::kLeft, true)), InputVerdict::kPass);

  EXPECT_EQ(shield_.judge(press(LowLevelButton::kRight, true)), InputVerdict::kDrop);
  windows_.set_window_at(kEditor);
  EXPECT_EQ(shield_.judge(release(LowLevelButton::kRight, true)), InputVerdict::kDrop);
  EXPECT_EQ(shield_.judge(release(LowLevelButton::kRight, true)), InputVerdict::kPass);
}

TEST_F(Shield, KeysFollowTheForegroundWindow) {
  windows_.set_foreground(kConsentBox);
  EXPECT_EQ(shield_.judge(key(0x0D, true, true)), InputVerdict::kDrop);
  windows_.set_foreground(kEditor);
  EXPECT_EQ(shield_.judge(key(0x0D, false, true)), InputVerdict::kDrop);
  EXPECT_EQ(shield_.judge(key(0x0D, true, true)), InputVerdict::kPass);
  EXPECT_EQ(shield_.judge(key(0x0D, false, true)), InputVerdict::kPass);
}

TEST_F(Shield, NeverTouchesTheLocalUsersInput) {
  windows_.set_window_at(kIndicator);
  windows_.set_foreground(kIndicator);
  for (const LowLevelInput& input :
       {press(LowLevelButton::kLeft, false), release(LowLevelButton::kLeft, false),
        key(' ', true, false), key(' ', false, false), move(1, 1, true),
        os::mouse_input(LowLevelKind::kWheel, LowLevelButton::kNone, {1, 1}, true)}) {
    EXPECT_EQ(shield_.judge(input), InputVerdict::kPass);
  }
  // A dropped injected press is not owed a dropped release once the local user
  // pressed and let go of the same key.
  EXPECT_EQ(shield_.judge(key('Q', true, true)), InputVerdict::kDrop);
  EXPECT_EQ(shield_.judge(key('Q', false, false)), InputVerdict::kPass);
  windows_.set_foreground(kEditor);
  EXPECT_EQ(shield_.judge(key('Q', false, true)), InputVerdict::kPass);
}

TEST(ConsentBox, AsksNobodyWithoutItsWatch) {
  testing::FakeWindowSystem windows;
  windows.failing_step = testing::FailingStep::kInputWatch;
  windows.message_box_answers = {os::kIdYes};
  EXPECT_FALSE(ask_local_consent(windows, ConsentRequest{}, nullptr));
  EXPECT_TRUE(windows.calls().empty());
}

}  // namespace
}  // namespace ombrelin::session
