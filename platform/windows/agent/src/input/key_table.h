#pragma once

// The closed vocabulary of key names a remote peer may send, the USB HID
// keyboard usages they stand for, and the Windows virtual keys those usages and
// the HID modifier bits are injected as.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ombrelin::input {

// The key name's HID usage; none for every name outside the table (names are
// compared exactly: no case folding, no trimming, no aliases).
[[nodiscard]] std::optional<std::uint32_t> usage_for_key_name(std::string_view name);

// Bits of a control message's modifier set.
inline constexpr std::uint8_t kMessageAlt = 0x01;
inline constexpr std::uint8_t kMessageControl = 0x02;
inline constexpr std::uint8_t kMessageMeta = 0x04;
inline constexpr std::uint8_t kMessageShift = 0x08;

// The HID modifier byte for a key transition: the message's four bits in HID
// order (all on the left-hand side), except that a right-hand modifier key
// going down moves its own bit to the right-hand side.
[[nodiscard]] std::uint8_t compute_modifier_byte(std::uint8_t message_modifiers,
                                                 std::string_view name, bool down);

// What a HID usage becomes on the injection side.
struct KeyInjection {
  enum class Kind : std::uint8_t {
    kVirtualKey,   // pressed and released as `virtual_key`
    kModifier,     // 224 to 231: held only through the modifier byte
    kUnsupported,  // not a usage of the key table
  };
  Kind kind = Kind::kUnsupported;
  std::uint16_t virtual_key = 0;

  bool operator==(const KeyInjection&) const = default;
};

[[nodiscard]] KeyInjection usage_to_virtual_key(std::uint32_t usage);

// The virtual key of each HID modifier bit, bit 0 first. Left and right keys
// are distinct keys to Windows (right Alt is AltGr on many layouts), so each
// side is pressed and released as itself.
inline constexpr std::array<std::uint16_t, 8> kModifierVirtualKeys = {
    0xA2,  // VK_LCONTROL
    0xA0,  // VK_LSHIFT
    0xA4,  // VK_LMENU
    0x5B,  // VK_LWIN
    0xA3,  // VK_RCONTROL
    0xA1,  // VK_RSHIFT
    0xA5,  // VK_RMENU
    0x5C,  // VK_RWIN
};

// The HID modifier byte to hold while a key event goes out, given the byte
// `held` now and the event's own byte `wanted` (from compute_modifier_byte).
// A modifier the event asks for on the left or unspecified side is already
// satisfied by whichever side is held, so a held key is never let go of while
// the event still needs its modifier: AltRight held, then KeyQ with Alt, keeps
// right Alt down. A modifier key's own transition decides its side: going down
// adds its side, going up drops it (the other side takes over when the event
// still asks for the modifier).
[[nodiscard]] std::uint8_t modifiers_to_hold(std::uint8_t held, std::uint8_t wanted,
                                             std::uint32_t usage, bool down);

// One press or release that brings the held modifiers in line with an event.
struct ModifierStep {
  std::uint16_t virtual_key = 0;
  bool press = false;

  bool operator==(const ModifierStep&) const = default;
};

// At most one step per modifier bit.
struct ModifierSteps {
  std::array<ModifierStep, 8> steps{};
  std::size_t count = 0;

  [[nodiscard]] const ModifierStep* begin() const { return steps.data(); }
  [[nodiscard]] const ModifierStep* end() const { return steps.data() + count; }
};

// The steps from the modifier byte `current` to `target`, Control, Shift, Alt,
// Meta in that order. Modifiers that go up entirely are released first, so that
// no combination the remote party never held is formed on the way (Ctrl+Shift
// switches the keyboard layout on many desktops). A modifier that changes side
// presses its new side before it releases the old one, so it never drops.
[[nodiscard]] ModifierSteps modifier_steps(std::uint8_t current, std::uint8_t target);

}  // namespace ombrelin::input
