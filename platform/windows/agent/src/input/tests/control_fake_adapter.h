#pragma once

// An input adapter for control-path tests. It keeps the held keys, held buttons
// and modifier byte exactly as the Windows adapter does (sets updated before the
// send, so a failed press still counts as held), and can be told to fail.

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <variant>

#include "input/input_adapter.h"
#include "input/key_table.h"

namespace ombrelin::input::testing {

class HeldStateAdapter final : public InputAdapter {
 public:
  using Result = std::expected<void, display::AdapterError>;

  std::expected<void, display::AdapterError> apply_event(
      const protocol::InputEvent& event) override {
    if (mirror != nullptr) {
      (void)mirror->apply_event(event);
    }
    return std::visit([this](const auto& kind) { return apply(kind); }, event);
  }

  std::expected<void, display::AdapterError> release_all() override {
    if (mirror != nullptr) {
      (void)mirror->release_all();
    }
    note("release_all");
    held_keys.clear();
    held_buttons.clear();
    modifier_byte = 0;
    return send();
  }

  [[nodiscard]] bool holds_nothing() const {
    return held_keys.empty() && held_buttons.empty() && modifier_byte == 0;
  }

  // Sends go through until this many more have; every send after that fails.
  std::optional<std::size_t> sends_before_failure;
  std::function<void(std::string)> journal;  // told of every call, if set
  InputAdapter* mirror = nullptr;            // given every call too, if set
  std::set<std::uint16_t> held_keys;
  std::set<std::uint32_t> held_buttons;
  std::uint8_t modifier_byte = 0;

 private:
  void note(std::string entry) const {
    if (journal) {
      journal(std::move(entry));
    }
  }

  Result send() {
    if (sends_before_failure) {
      if (*sends_before_failure == 0) {
        return std::unexpected(display::AdapterError::operation_failed("blocked"));
      }
      --*sends_before_failure;
    }
    return {};
  }

  void track_key(std::uint16_t virtual_key, bool press) {
    if (press) {
      held_keys.insert(virtual_key);
    } else {
      held_keys.erase(virtual_key);
    }
  }

  Result apply(const protocol::input_event::PointerMove& move) {
    note("move");
    if (move.mode != protocol::input_event::kAbsolutePointer &&
        move.mode != protocol::input_event::kRelativePointer) {
      return std::unexpected(display::AdapterError::unsupported_input());
    }
    return send();
  }

  Result apply(const protocol::input_event::PointerButton& button) {
    note("button " + std::to_string(button.button) + (button.pressed ? " down" : " up"));
    if (button.button < 1 || button.button > 5) {
      return std::unexpected(display::AdapterError::unsupported_input());
    }
    if (button.pressed) {
      held_buttons.insert(button.button);
    } else {
      held_buttons.erase(button.button);
    }
    return send();
  }

  Result apply(const protocol::input_event::ScrollDelta& scroll) {
    note("scroll");
    return scroll.vertical == 0 && scroll.horizontal == 0 ? Result{} : send();
  }

  Result apply(const protocol::input_event::KeyboardKey& key) {
    note("key " + std::to_string(key.usage) + (key.down ? " down" : " up"));
    const auto target = static_cast<std::uint8_t>(key.modifiers);
    for (const ModifierStep& step : modifier_steps(modifier_byte, target)) {
      track_key(step.virtual_key, step.press);
      if (auto sent = send(); !sent) {
        return sent;
      }
    }
    modifier_byte = target;
    const KeyInjection injection = usage_to_virtual_key(key.usage);
    if (injection.kind == KeyInjection::Kind::kModifier) {
      return {};
    }
    if (injection.kind == KeyInjection::Kind::kUnsupported) {
      return std::unexpected(display::AdapterError::unsupported_input());
    }
    track_key(injection.virtual_key, key.down);
    return send();
  }

  template <typename Other>
  Result apply(const Other&) {
    note("unsupported");
    return std::unexpected(display::AdapterError::unsupported_input());
  }
};

}  // namespace ombrelin::input::testing
