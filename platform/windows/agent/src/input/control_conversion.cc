#include "input/control_conversion.h"

#include <cmath>
#include <limits>
#include <string>
#include <type_traits>

#include "input/key_table.h"

namespace ombrelin::input {
namespace {

namespace control = native_protocol::control;
namespace input_event = protocol::input_event;
using protocol::InputEvent;

constexpr std::uint8_t kMaxButtons = 0x1F;    // five buttons
constexpr std::uint8_t kMaxModifiers = 0x0F;  // Alt, Control, Meta, Shift
constexpr std::int32_t kMaxWheelSteps = 12000;
constexpr std::uint32_t kButtonCount = 5;

// The events of one message, and the state the message leaves behind.
struct Converted {
  std::vector<InputEvent> events;
  std::uint8_t buttons = 0;
};

using Conversion = std::expected<Converted, ControlConversionError>;

bool is_unit_fraction(float value) { return value >= 0.0F && value <= 1.0F; }

bool is_wheel_steps(std::int32_t value) {
  return value >= -kMaxWheelSteps && value <= kMaxWheelSteps;
}

struct EventBuilder {
  std::string_view display_id;
  std::uint8_t buttons;  // the state before this message

  Conversion operator()(const control::Pointer& pointer) const {
    // Comparisons are false for NaN, so non-finite values fail here too.
    if (!is_unit_fraction(pointer.x) || !is_unit_fraction(pointer.y) ||
        pointer.buttons > kMaxButtons) {
      return std::unexpected(ControlConversionError::kOutOfRange);
    }
    Converted out{{}, pointer.buttons};
    out.events.reserve(1 + kButtonCount);
    out.events.emplace_back(input_event::PointerMove{
        std::string(display_id), input_event::kAbsolutePointer, pointer.x, pointer.y});
    const unsigned changed = static_cast<unsigned>(buttons ^ pointer.buttons);
    for (std::uint32_t bit = 0; bit < kButtonCount; ++bit) {
      if ((changed >> bit & 1U) != 0) {
        const bool pressed = (static_cast<unsigned>(pointer.buttons) >> bit & 1U) != 0;
        out.events.emplace_back(input_event::PointerButton{bit + 1, pressed});
      }
    }
    return out;
  }

  Conversion operator()(const control::Scroll& scroll) const {
    if (!is_wheel_steps(scroll.horizontal) || !is_wheel_steps(scroll.vertical)) {
      return std::unexpected(ControlConversionError::kOutOfRange);
    }
    return Converted{{input_event::ScrollDelta{scroll.vertical, scroll.horizontal}}, buttons};
  }

  Conversion operator()(const control::KeyTransition& key) const {
    if (key.modifiers > kMaxModifiers) {
      return std::unexpected(ControlConversionError::kOutOfRange);
    }
    const auto usage = usage_for_key_name(key.code);
    if (!usage) {
      return std::unexpected(ControlConversionError::kUnknownKey);
    }
    const std::uint8_t modifier_byte = compute_modifier_byte(key.modifiers, key.code, key.down);
    return Converted{{input_event::KeyboardKey{*usage, modifier_byte, key.down}}, buttons};
  }

  Conversion operator()(const control::PauseInput& pause) const {
    return Converted{{input_event::PeerPause{std::string(kPeerPauseReason), pause.paused}},
                     buttons};
  }

  Conversion operator()(const control::ReleaseAll&) const { return Converted{{}, buttons}; }

  Conversion operator()(const control::Stop&) const {
    return Converted{{input_event::PeerStop{std::string(kPeerStopReason)}}, buttons};
  }
};

}  // namespace

std::expected<std::vector<protocol::InputEnvelope>, ControlConversionError> convert_control_message(
    ControlSequenceState& state, const native_protocol::ControlMessage& message,
    const protocol::Uuid& session_id, std::string_view display_id) {
  const auto [version, seq] = std::visit(
      [](const auto& variant) {
        return std::pair{variant.v, variant.seq};
      },
      message);
  if (version != kControlVersion) {
    return std::unexpected(ControlConversionError::kVersion);
  }
  if (state.last_seq && seq <= *state.last_seq) {
    return std::unexpected(ControlConversionError::kStaleSequence);
  }
  auto converted = std::visit(EventBuilder{display_id, state.buttons}, message);
  if (!converted) {
    return std::unexpected(converted.error());
  }
  // Checked before anything is recorded, so an exhausted counter refuses the
  // message without consuming its "seq".
  const std::size_t count = converted->events.size();
  if (std::numeric_limits<std::uint64_t>::max() - state.event_counter < count) {
    return std::unexpected(ControlConversionError::kCounterExhausted);
  }

  std::vector<protocol::InputEnvelope> envelopes;
  envelopes.reserve(count);
  std::uint64_t sequence = state.event_counter;
  for (InputEvent& event : converted->events) {
    envelopes.push_back(
        protocol::InputEnvelope{protocol::Bytes(session_id.begin(), session_id.end()), ++sequence,
                                kControlPermissionEpoch, std::move(event)});
  }
  state.last_seq = seq;
  state.buttons = converted->buttons;
  state.event_counter = sequence;
  return envelopes;
}

}  // namespace ombrelin::input
