#include "input/key_table.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace ombrelin::input {
namespace {

using Kind = KeyInjection::Kind;

std::vector<std::string> all_key_names() {
  std::vector<std::string> names;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    names.push_back(std::string("Key") + letter);
  }
  for (char digit = '0'; digit <= '9'; ++digit) {
    names.push_back(std::string("Digit") + digit);
  }
  for (int number = 1; number <= 12; ++number) {
    names.push_back("F" + std::to_string(number));
  }
  for (const char* name :
       {"Enter",        "Escape",     "Backspace",   "Tab",       "Space",      "Home",
        "PageUp",       "Delete",     "End",         "PageDown",  "ArrowRight", "ArrowLeft",
        "ArrowDown",    "ArrowUp",    "ControlLeft", "ShiftLeft", "AltLeft",    "MetaLeft",
        "ControlRight", "ShiftRight", "AltRight",    "MetaRight"}) {
    names.emplace_back(name);
  }
  return names;
}

TEST(KeyTableTest, SeventyNamesWithDistinctInjectableUsages) {
  const auto names = all_key_names();
  ASSERT_EQ(names.size(), 70u);
  std::set<std::uint32_t> usages;
  int modifiers = 0;
  for (const auto& name : names) {
    const auto usage = usage_for_key_name(name);
    ASSERT_TRUE(usage.has_value()) << name;
    usages.insert(*usage);
    const KeyInjection injection = usage_to_virtual_key(*usage);
    EXPECT_NE(injection.kind, Kind::kUnsupported) << name;
    modifiers += injection.kind == Kind::kModifier ? 1 : 0;
  }
  EXPECT_EQ(usages.size(), 70u);
  EXPECT_EQ(modifiers, 8);
}

// Every "Key", "Digit" and "F" name of one or two characters after the
// prefix: only the table's own are accepted.
TEST(KeyTableTest, FamiliesAcceptNothingBeyondTheTable) {
  int accepted = 0;
  for (const char* prefix : {"Key", "Digit", "F"}) {
    for (int first = 1; first < 256; ++first) {
      const std::string one = prefix + std::string(1, static_cast<char>(first));
      accepted += usage_for_key_name(one) ? 1 : 0;
      for (int second = 1; second < 256; ++second) {
        accepted += usage_for_key_name(one + static_cast<char>(second)) ? 1 : 0;
      }
    }
  }
  EXPECT_EQ(accepted, 26 + 10 + 12);
}

class RefusedNameTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RefusedNameTest, IsRefused) { EXPECT_FALSE(usage_for_key_name(GetParam()).has_value()); }

INSTANTIATE_TEST_SUITE_P(Names, RefusedNameTest,
                         ::testing::Values("keya", "KeyAA", "Key1", "Digit", "Digit10", "F0", "F01",
                                           "F13", "Numpad1", "Insert", "enter", "Enter ", ""));

struct KeyCase {
  const char* name;
  std::uint32_t usage;
  std::uint16_t virtual_key;
};

class KeyEdgeTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyEdgeTest, HasItsUsageAndVirtualKey) {
  EXPECT_EQ(usage_for_key_name(GetParam().name), GetParam().usage);
  EXPECT_EQ(usage_to_virtual_key(GetParam().usage),
            (KeyInjection{Kind::kVirtualKey, GetParam().virtual_key}));
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyEdgeTest,
                         ::testing::Values(KeyCase{"KeyA", 4, 0x41}, KeyCase{"KeyZ", 29, 0x5A},
                                           KeyCase{"Digit1", 30, 0x31}, KeyCase{"Digit9", 38, 0x39},
                                           KeyCase{"Digit0", 39, 0x30}, KeyCase{"F1", 58, 0x70},
                                           KeyCase{"F10", 67, 0x79}, KeyCase{"F12", 69, 0x7B},
                                           KeyCase{"Enter", 40, 0x0D}, KeyCase{"Space", 44, 0x20},
                                           KeyCase{"Home", 74, 0x24}, KeyCase{"PageUp", 75, 0x21},
                                           KeyCase{"Delete", 76, 0x2E},
                                           KeyCase{"ArrowUp", 82, 0x26}));

struct ModifierCase {
  std::uint8_t message;
  const char* name;
  bool down;
  std::uint8_t byte;
};

class ModifierByteTest : public ::testing::TestWithParam<ModifierCase> {};

TEST_P(ModifierByteTest, Computes) {
  EXPECT_EQ(compute_modifier_byte(GetParam().message, GetParam().name, GetParam().down),
            GetParam().byte);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModifierByteTest,
    ::testing::Values(
        ModifierCase{kMessageControl, "KeyC", true, 0x01},
        ModifierCase{kMessageShift, "KeyC", false, 0x02},
        ModifierCase{kMessageAlt, "KeyC", true, 0x04},
        ModifierCase{kMessageMeta, "KeyC", true, 0x08}, ModifierCase{15, "KeyA", true, 0x0F},
        ModifierCase{0, "ControlLeft", true, 0x00},
        ModifierCase{kMessageControl, "ControlRight", true, 0x10},
        ModifierCase{kMessageControl, "ControlRight", false, 0x01},
        ModifierCase{0, "ShiftRight", true, 0x20}, ModifierCase{15, "AltRight", true, 0x4B},
        ModifierCase{15, "MetaRight", true, 0x87}, ModifierCase{15, "MetaRight", false, 0x0F}));

struct StepsCase {
  std::uint8_t current;
  std::uint8_t target;
  std::vector<ModifierStep> steps;
};

class ModifierStepsTest : public ::testing::TestWithParam<StepsCase> {};

TEST_P(ModifierStepsTest, InBitOrder) {
  const ModifierSteps steps = modifier_steps(GetParam().current, GetParam().target);
  EXPECT_EQ(std::vector<ModifierStep>(steps.begin(), steps.end()), GetParam().steps);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModifierStepsTest,
    ::testing::Values(
        StepsCase{0x0F, 0x0F, {}},
        StepsCase{0x00, 0x0F, {{0xA2, true}, {0xA0, true}, {0xA4, true}, {0x5B, true}}},
        StepsCase{0x0F, 0x00, {{0xA2, false}, {0xA0, false}, {0xA4, false}, {0x5B, false}}},
        // A modifier changing side presses the new side first: it never drops.
        StepsCase{0x04, 0x40, {{0xA5, true}, {0xA4, false}}},
        StepsCase{0x01, 0x10, {{0xA3, true}, {0xA2, false}}},
        StepsCase{0x00, 0xF0, {{0xA3, true}, {0xA1, true}, {0xA5, true}, {0x5C, true}}},
        StepsCase{0xF0, 0x00, {{0xA3, false}, {0xA1, false}, {0xA5, false}, {0x5C, false}}},
        StepsCase{0x40, 0x44, {{0xA4, true}}}, StepsCase{0x44, 0x40, {{0xA4, false}}},
        // Modifiers going up go first: Shift to Control never holds both.
        StepsCase{0x02, 0x01, {{0xA0, false}, {0xA2, true}}},
        StepsCase{0x22, 0x11, {{0xA0, false}, {0xA1, false}, {0xA2, true}, {0xA3, true}}}));

struct HoldCase {
  std::uint8_t held;
  std::uint8_t wanted;
  const char* name;
  bool down;
  std::uint8_t hold;
};

void PrintTo(const HoldCase& test, std::ostream* out) {
  *out << std::hex << "held 0x" << int{test.held} << ", wanted 0x" << int{test.wanted} << ", "
       << test.name << (test.down ? " down" : " up");
}

class ModifiersToHoldTest : public ::testing::TestWithParam<HoldCase> {};

TEST_P(ModifiersToHoldTest, KeepsWhatTheEventStillNeeds) {
  const std::uint32_t usage = usage_for_key_name(GetParam().name).value();
  EXPECT_EQ(int{modifiers_to_hold(GetParam().held, GetParam().wanted, usage, GetParam().down)},
            int{GetParam().hold});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModifiersToHoldTest,
    ::testing::Values(
        // Right Alt satisfies the Alt of the keys typed with it, down and up.
        HoldCase{0x40, 0x04, "KeyQ", true, 0x40}, HoldCase{0x40, 0x04, "KeyQ", false, 0x40},
        HoldCase{0x40, 0x00, "AltRight", false, 0x00}, HoldCase{0x10, 0x01, "KeyC", true, 0x10},
        HoldCase{0x80, 0x08, "KeyE", true, 0x80},
        // Nothing held: the left side stands for an unspecified one.
        HoldCase{0x00, 0x04, "KeyQ", true, 0x04}, HoldCase{0x00, 0x0F, "KeyA", true, 0x0F},
        HoldCase{0x0F, 0x00, "KeyZ", true, 0x00}, HoldCase{0x00, 0x00, "ControlLeft", true, 0x00},
        // A second side going down joins the first; going up leaves the other.
        HoldCase{0x04, 0x40, "AltRight", true, 0x44}, HoldCase{0x40, 0x04, "AltLeft", true, 0x44},
        HoldCase{0x44, 0x04, "AltLeft", false, 0x40}, HoldCase{0x44, 0x04, "AltRight", false, 0x04},
        HoldCase{0x01, 0x10, "ControlRight", true, 0x11},
        // A right key going up while the event still asks for the modifier: the
        // left side takes over (pressed before the right one is released).
        HoldCase{0x10, 0x01, "ControlRight", false, 0x01},
        // Each kind on its own: right Shift stays, right Meta joins it.
        HoldCase{0x20, 0x82, "MetaRight", true, 0xA0}, HoldCase{0x24, 0x01, "KeyC", true, 0x01}));

}  // namespace
}  // namespace ombrelin::input
