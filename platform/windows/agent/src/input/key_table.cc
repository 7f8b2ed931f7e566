#include "input/key_table.h"

#include <algorithm>

namespace ombrelin::input {
namespace {

// The HID usage of the left Control key; the eight modifiers follow it.
constexpr std::uint32_t kFirstModifierUsage = 0xE0;
constexpr std::uint32_t kLastModifierUsage = 0xE7;

// Families built by rule: KeyA..KeyZ, Digit1..Digit9 then Digit0, F1..F12.
constexpr std::uint32_t kUsageKeyA = 0x04;
constexpr std::uint32_t kUsageKeyZ = 0x1D;
constexpr std::uint32_t kUsageDigit1 = 0x1E;
constexpr std::uint32_t kUsageDigit0 = 0x27;
constexpr std::uint32_t kUsageF1 = 0x3A;
constexpr std::uint32_t kUsageF12 = 0x45;
constexpr std::uint16_t kVirtualKeyA = 0x41;
constexpr std::uint16_t kVirtualKey1 = 0x31;
constexpr std::uint16_t kVirtualKey0 = 0x30;
constexpr std::uint16_t kVirtualKeyF1 = 0x70;

struct NamedKey {
  std::string_view name;
  std::uint32_t usage;
  std::uint16_t virtual_key;  // 0 for modifiers
};

constexpr NamedKey kNamedKeys[] = {
    {"Enter", 0x28, 0x0D},     {"Escape", 0x29, 0x1B},     {"Backspace", 0x2A, 0x08},
    {"Tab", 0x2B, 0x09},       {"Space", 0x2C, 0x20},      {"Home", 0x4A, 0x24},
    {"PageUp", 0x4B, 0x21},    {"Delete", 0x4C, 0x2E},     {"End", 0x4D, 0x23},
    {"PageDown", 0x4E, 0x22},  {"ArrowRight", 0x4F, 0x27}, {"ArrowLeft", 0x50, 0x25},
    {"ArrowDown", 0x51, 0x28}, {"ArrowUp", 0x52, 0x26},    {"ControlLeft", 0xE0, 0},
    {"ShiftLeft", 0xE1, 0},    {"AltLeft", 0xE2, 0},       {"MetaLeft", 0xE3, 0},
    {"ControlRight", 0xE4, 0}, {"ShiftRight", 0xE5, 0},    {"AltRight", 0xE6, 0},
    {"MetaRight", 0xE7, 0},
};

// HID modifier bits.
constexpr std::uint8_t kHidControl = 0x01;
constexpr std::uint8_t kHidShift = 0x02;
constexpr std::uint8_t kHidAlt = 0x04;
constexpr std::uint8_t kHidMeta = 0x08;
// A left-hand bit moved to the right-hand side; also the distance from a left
// modifier's HID usage to its right one's.
constexpr std::uint32_t kRightHandShift = 4;
// Control, Shift, Alt, Meta.
constexpr std::uint32_t kModifierKinds = 4;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::optional<std::uint32_t> function_key_usage(std::string_view name) {
  if (name.size() < 2 || name.size() > 3 || name[0] != 'F' || name[1] == '0' ||
      !std::ranges::all_of(name.substr(1), is_digit)) {
    return std::nullopt;
  }
  std::uint32_t number = 0;
  for (const char c : name.substr(1)) {
    number = number * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (number > kUsageF12 - kUsageF1 + 1) {
    return std::nullopt;
  }
  return kUsageF1 + number - 1;
}

}  // namespace

std::optional<std::uint32_t> usage_for_key_name(std::string_view name) {
  if (name.size() == 4 && name.starts_with("Key") && name[3] >= 'A' && name[3] <= 'Z') {
    return kUsageKeyA + static_cast<std::uint32_t>(name[3] - 'A');
  }
  if (name.size() == 6 && name.starts_with("Digit") && is_digit(name[5])) {
    return name[5] == '0' ? kUsageDigit0 : kUsageDigit1 + static_cast<std::uint32_t>(name[5] - '1');
  }
  if (const auto usage = function_key_usage(name)) {
    return usage;
  }
  const auto* named = std::ranges::find(kNamedKeys, name, &NamedKey::name);
  if (named == std::ranges::end(kNamedKeys)) {
    return std::nullopt;
  }
  return named->usage;
}

std::uint8_t compute_modifier_byte(std::uint8_t message_modifiers, std::string_view name,
                                   bool down) {
  const auto bit_if = [message_modifiers](std::uint8_t message_bit, std::uint8_t hid_bit) {
    return (message_modifiers & message_bit) != 0 ? hid_bit : std::uint8_t{0};
  };
  auto byte = static_cast<std::uint8_t>(
      bit_if(kMessageControl, kHidControl) | bit_if(kMessageShift, kHidShift) |
      bit_if(kMessageAlt, kHidAlt) | bit_if(kMessageMeta, kHidMeta));
  if (!down) {
    return byte;
  }
  std::uint8_t left = 0;
  if (name == "ControlRight") {
    left = kHidControl;
  } else if (name == "ShiftRight") {
    left = kHidShift;
  } else if (name == "AltRight") {
    left = kHidAlt;
  } else if (name == "MetaRight") {
    left = kHidMeta;
  }
  if (left != 0) {
    byte = static_cast<std::uint8_t>((byte & ~left) | (left << kRightHandShift));
  }
  return byte;
}

KeyInjection usage_to_virtual_key(std::uint32_t usage) {
  using Kind = KeyInjection::Kind;
  const auto key = [](std::uint32_t virtual_key) {
    return KeyInjection{Kind::kVirtualKey, static_cast<std::uint16_t>(virtual_key)};
  };
  if (usage >= kUsageKeyA && usage <= kUsageKeyZ) {
    return key(kVirtualKeyA + usage - kUsageKeyA);
  }
  if (usage >= kUsageDigit1 && usage < kUsageDigit0) {
    return key(kVirtualKey1 + usage - kUsageDigit1);
  }
  if (usage == kUsageDigit0) {
    return key(kVirtualKey0);
  }
  if (usage >= kUsageF1 && usage <= kUsageF12) {
    return key(kVirtualKeyF1 + usage - kUsageF1);
  }
  if (usage >= kFirstModifierUsage && usage <= kLastModifierUsage) {
    return KeyInjection{Kind::kModifier, 0};
  }
  const auto* named = std::ranges::find(kNamedKeys, usage, &NamedKey::usage);
  if (named == std::ranges::end(kNamedKeys)) {
    return KeyInjection{};
  }
  return key(named->virtual_key);
}

std::uint8_t modifiers_to_hold(std::uint8_t held, std::uint8_t wanted, std::uint32_t usage,
                               bool down) {
  std::uint8_t result = 0;
  for (std::uint32_t kind = 0; kind < kModifierKinds; ++kind) {
    const auto left = static_cast<std::uint8_t>(1u << kind);
    const auto right = static_cast<std::uint8_t>(left << kRightHandShift);
    if ((wanted & (left | right)) == 0) {
      continue;  // the event has this modifier up
    }
    const std::uint8_t held_sides = held & (left | right);
    std::uint8_t sides = 0;
    if (usage == kFirstModifierUsage + kind) {
      // The left key itself: held with whatever right key is held; going up,
      // the right key carries the modifier if it is held, else the left stays.
      sides = down ? static_cast<std::uint8_t>(left | (held_sides & right))
                   : ((held_sides & right) != 0 ? right : left);
    } else if (usage == kFirstModifierUsage + kRightHandShift + kind) {
      // The right key itself: going up with the modifier still on, the left
      // side takes over.
      sides = down ? static_cast<std::uint8_t>(right | (held_sides & left)) : left;
    } else {
      sides = held_sides != 0 ? held_sides : static_cast<std::uint8_t>(wanted & (left | right));
    }
    result |= sides;
  }
  return result;
}

ModifierSteps modifier_steps(std::uint8_t current, std::uint8_t target) {
  ModifierSteps result;
  const auto step = [&result](std::uint32_t bit, bool press) {
    result.steps[result.count++] = ModifierStep{kModifierVirtualKeys[bit], press};
  };
  const auto on = [](std::uint8_t byte, std::uint32_t bit) { return (byte & (1u << bit)) != 0; };
  const auto kind_on = [&on](std::uint8_t byte, std::uint32_t kind) {
    return on(byte, kind) || on(byte, kind + kRightHandShift);
  };
  for (std::uint32_t kind = 0; kind < kModifierKinds; ++kind) {
    if (kind_on(target, kind)) {
      continue;
    }
    for (const std::uint32_t bit : {kind, kind + kRightHandShift}) {
      if (on(current, bit)) {
        step(bit, false);
      }
    }
  }
  for (std::uint32_t kind = 0; kind < kModifierKinds; ++kind) {
    if (!kind_on(target, kind)) {
      continue;
    }
    for (const std::uint32_t bit : {kind, kind + kRightHandShift}) {
      if (on(target, bit) && !on(current, bit)) {
        step(bit, true);
      }
    }
    for (const std::uint32_t bit : {kind, kind + kRightHandShift}) {
      if (!on(target, bit) && on(current, bit)) {
        step(bit, false);
      }
    }
  }
  return result;
}

}  // namespace ombrelin::input
