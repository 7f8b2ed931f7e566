#pragma once

// One session-scoped input event of the protocol's whole vocabulary. This host
// produces only pointer, scroll, key, peer pause and peer stop events; the other
// kinds exist so that every event the protocol defines can be validated.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "ombrelin/protocol/byte_types.h"

namespace ombrelin::protocol {

namespace input_event {

inline constexpr std::uint32_t kAbsolutePointer = 1;  // x and y in 0..1
inline constexpr std::uint32_t kRelativePointer = 2;  // x and y are deltas

struct PointerMove {
  std::string display_id;
  std::uint32_t mode = kAbsolutePointer;
  float x = 0;
  float y = 0;
};

struct PointerButton {
  std::uint32_t button = 0;  // 1 primary, 2 secondary, 3 middle, 4 back, 5 forward
  bool pressed = false;
};

struct ScrollDelta {
  std::int32_t vertical = 0;
  std::int32_t horizontal = 0;
};

struct KeyboardKey {
  std::uint32_t usage = 0;      // USB HID keyboard usage
  std::uint32_t modifiers = 0;  // HID modifier byte
  bool down = false;
};

struct TouchContact {
  std::uint32_t contact_id = 0;
  float x = 0;
  float y = 0;
  float pressure = 0;
};

struct Touch {
  std::vector<TouchContact> contacts;
};

struct Pen {
  float x = 0;
  float y = 0;
  float pressure = 0;
  float tilt_x = 0;
  float tilt_y = 0;
};

struct Gamepad {
  std::uint32_t pad_index = 0;
  std::vector<float> axes;
  std::vector<float> buttons;
};

struct SwitchDisplay {
  std::string display_id;
};

struct PermissionUpdate {
  std::uint64_t new_permission_epoch = 0;
  std::vector<std::int32_t> permissions;  // ticket wire values
  Bytes target_device_signature;
};

struct PeerPause {
  std::string reason_code;
  bool paused = false;
};

struct PeerStop {
  std::string reason_code;
};

struct ClipboardOffer {
  Bytes clipboard_id;
  std::string mime_type;
  std::uint64_t size = 0;
  Bytes sha256;
};

struct ClipboardContent {
  Bytes clipboard_id;
  Bytes content;
};

}  // namespace input_event

// The alternatives stand in the protocol's kind order, 0 to 12.
using InputEvent =
    std::variant<input_event::PointerMove, input_event::PointerButton, input_event::ScrollDelta,
                 input_event::KeyboardKey, input_event::Touch, input_event::Pen,
                 input_event::Gamepad, input_event::SwitchDisplay, input_event::PermissionUpdate,
                 input_event::PeerPause, input_event::PeerStop, input_event::ClipboardOffer,
                 input_event::ClipboardContent>;

struct InputEnvelope {
  Bytes session_id;  // 16 bytes
  std::uint64_t sequence = 0;
  std::uint64_t permission_epoch = 0;
  std::optional<InputEvent> event;
};

}  // namespace ombrelin::protocol
