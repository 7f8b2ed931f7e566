#pragma once

// What a run of INPUT records leaves pressed on the desktop: keys by virtual
// key, mouse buttons by their down flag (the X buttons told apart by their
// data). Tests read it off the records Windows accepted.

#include <cstdint>
#include <set>
#include <span>
#include <utility>
#include <variant>

#include "os/input_api.h"

namespace ombrelin::input::testing {

struct PressedOnDesktop {
  std::set<std::uint16_t> keys;
  std::set<std::pair<std::uint32_t, std::int32_t>> buttons;  // (down flag, mouse data)

  [[nodiscard]] bool empty() const { return keys.empty() && buttons.empty(); }
};

inline PressedOnDesktop pressed_on_desktop(std::span<const os::InputRecord> records) {
  constexpr std::pair<std::uint32_t, std::uint32_t> kButtonFlags[] = {
      {os::kMouseLeftDown, os::kMouseLeftUp},
      {os::kMouseRightDown, os::kMouseRightUp},
      {os::kMouseMiddleDown, os::kMouseMiddleUp},
      {os::kMouseXDown, os::kMouseXUp}};
  PressedOnDesktop pressed;
  for (const os::InputRecord& record : records) {
    if (const auto* key = std::get_if<os::KeyboardRecord>(&record)) {
      if ((key->flags & os::kKeyUp) == 0) {
        pressed.keys.insert(key->vk);
      } else {
        pressed.keys.erase(key->vk);
      }
      continue;
    }
    const auto& mouse = std::get<os::MouseRecord>(record);
    for (const auto& [down, up] : kButtonFlags) {
      const std::int32_t data = down == os::kMouseXDown ? mouse.mouse_data : 0;
      if ((mouse.flags & down) != 0) {
        pressed.buttons.insert({down, data});
      } else if ((mouse.flags & up) != 0) {
        pressed.buttons.erase({down, data});
      }
    }
  }
  return pressed;
}

}  // namespace ombrelin::input::testing
