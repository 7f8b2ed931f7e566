#include "input/windows_input_adapter.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <variant>

#include "input/input_injector.h"
#include "input/key_table.h"
#include "input/pointer_mapping.h"

namespace ombrelin::input {
namespace {

using display::AdapterError;
using Result = std::expected<void, AdapterError>;
namespace event = protocol::input_event;

AdapterError failed(InjectorError error) {
  return AdapterError::operation_failed(std::string(injector_message(error)));
}

Result checked(std::expected<void, InjectorError> sent) {
  if (!sent) {
    return std::unexpected(failed(sent.error()));
  }
  return {};
}

std::optional<MouseButton> button_for(std::uint32_t number) {
  switch (number) {
    case 1:
      return MouseButton::kLeft;
    case 2:
      return MouseButton::kRight;
    case 3:
      return MouseButton::kMiddle;
    case 4:
      return MouseButton::kBack;
    case 5:
      return MouseButton::kForward;
    default:
      return std::nullopt;
  }
}

class WindowsInputAdapter final : public InputAdapter {
 public:
  WindowsInputAdapter(os::InputApi& api, display::DisplayRecord display)
      : injector_(api), display_(std::move(display)) {}

  Result apply_event(const protocol::InputEvent& input) override {
    if (const auto* move = std::get_if<event::PointerMove>(&input)) {
      return apply(*move);
    }
    if (const auto* button = std::get_if<event::PointerButton>(&input)) {
      return apply(*button);
    }
    if (const auto* scroll = std::get_if<event::ScrollDelta>(&input)) {
      return apply(*scroll);
    }
    if (const auto* key = std::get_if<event::KeyboardKey>(&input)) {
      return apply(*key);
    }
    return std::unexpected(AdapterError::unsupported_input());
  }

  Result release_all() override {
    std::optional<InjectorError> first_failure;
    const auto note = [&first_failure](std::expected<void, InjectorError> sent) {
      if (!sent && !first_failure) {
        first_failure = sent.error();
      }
    };
    for (const std::uint16_t vk : std::exchange(held_keys_, {})) {
      note(injector_.key(vk, false));
    }
    for (const MouseButton button : std::exchange(held_buttons_, {})) {
      note(injector_.button(button, false));
    }
    modifier_byte_ = 0;
    if (first_failure) {
      return std::unexpected(failed(*first_failure));
    }
    return {};
  }

 private:
  Result apply(const event::PointerMove& move) {
    switch (move.mode) {
      case event::kAbsolutePointer:
        return checked(injector_.move_to(map_absolute_point(display_, move.x, move.y)));
      case event::kRelativePointer:
        return checked(injector_.move_by(round_saturated(move.x), round_saturated(move.y)));
      default:
        return std::unexpected(AdapterError::unsupported_input());
    }
  }

  Result apply(const event::PointerButton& event) {
    const auto button = button_for(event.button);
    if (!button) {
      return std::unexpected(AdapterError::unsupported_input());
    }
    // Held before the press is sent, so that a failed send is still released
    // later; a release is sent even for a button not held, to free one that
    // is stuck.
    if (event.pressed) {
      held_buttons_.insert(*button);
    } else {
      held_buttons_.erase(*button);
    }
    return checked(injector_.button(*button, event.pressed));
  }

  Result apply(const event::ScrollDelta& scroll) {
    if (scroll.vertical != 0) {
      if (auto sent = checked(injector_.wheel(WheelAxis::kVertical, scroll.vertical)); !sent) {
        return sent;
      }
    }
    if (scroll.horizontal != 0) {
      return checked(injector_.wheel(WheelAxis::kHorizontal, scroll.horizontal));
    }
    return {};
  }

  Result apply(const event::KeyboardKey& key) {
    // Refused before anything is sent, so that an event the adapter cannot
    // inject changes nothing on the desktop.
    const KeyInjection injection = usage_to_virtual_key(key.usage);
    if (injection.kind == KeyInjection::Kind::kUnsupported || key.modifiers > 0xFF) {
      return std::unexpected(AdapterError::unsupported_input());
    }
    const auto target = static_cast<std::uint8_t>(key.modifiers);
    for (const ModifierStep& step : modifier_steps(modifier_byte_, target)) {
      if (auto sent = send_key(step.virtual_key, step.press); !sent) {
        return sent;
      }
    }
    modifier_byte_ = target;
    if (injection.kind == KeyInjection::Kind::kModifier) {
      return {};
    }
    return send_key(injection.virtual_key, key.down);
  }

  Result send_key(std::uint16_t vk, bool press) {
    if (press) {
      held_keys_.insert(vk);
    } else {
      held_keys_.erase(vk);
    }
    return checked(injector_.key(vk, press));
  }

  InputInjector injector_;
  display::DisplayRecord display_;
  std::set<std::uint16_t> held_keys_;
  std::set<MouseButton> held_buttons_;
  std::uint8_t modifier_byte_ = 0;  // HID modifier byte now held
};

}  // namespace

std::expected<std::unique_ptr<InputAdapter>, AdapterError> start_input_adapter(
    os::InputApi& api, const display::DisplayRecord& primary) {
  return std::make_unique<WindowsInputAdapter>(api, primary);
}

}  // namespace ombrelin::input
