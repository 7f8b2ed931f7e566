#pragma once

// The INPUT records the adapter hands to SendInput, built from plain values.
// Stateless: what is held is the adapter's business (HeldInput).

#include <cstdint>

#include "input/held_input.h"
#include "os/input_api.h"

namespace ombrelin::input {

// Every record's dwExtraInfo, so that the agent's own input can be told apart.
inline constexpr std::uint64_t kInjectedExtraInfo = 100;

enum class WheelAxis : std::uint8_t { kVertical, kHorizontal };

// An absolute move to (dx, dy) in SendInput's 0..65535 coordinates of the
// primary screen.
[[nodiscard]] os::MouseRecord absolute_move_record(std::int32_t dx, std::int32_t dy);
[[nodiscard]] os::MouseRecord button_record(MouseButton button, bool press);
// The physical button that is the remote party's `button` on this desktop: with
// the buttons swapped (for the left hand) the primary button is the right one.
[[nodiscard]] MouseButton physical_button(RemoteButton button, bool swapped);
// `steps` wheel notches; positive scrolls down or right.
[[nodiscard]] os::MouseRecord wheel_record(WheelAxis axis, std::int32_t steps);
// `scan` is the layout's scan code of the key (0 when the layout has none).
[[nodiscard]] os::KeyboardRecord key_record(std::uint16_t virtual_key, std::uint32_t scan,
                                            bool press);

// Keys on the E0-prefixed part of the keyboard, sent with KEYEVENTF_EXTENDEDKEY.
[[nodiscard]] bool is_extended_key(std::uint16_t virtual_key);

}  // namespace ombrelin::input
