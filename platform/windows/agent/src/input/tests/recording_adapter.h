#pragma once

// An input adapter for control-path tests: it notes every call in a journal and
// can be told to fail. It keeps no account of what is held; tests that need one
// use the real adapter over FakeInputApi and read the records it sent.

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "input/input_adapter.h"

namespace ombrelin::input::testing {

class RecordingAdapter final : public InputAdapter {
 public:
  std::expected<void, InputError> apply_event(const protocol::InputEvent& event) override {
    calls.push_back(std::visit([](const auto& kind) { return describe(kind); }, event));
    return outcome();
  }

  std::expected<void, InputError> release_all() override {
    calls.push_back("release_all");
    return outcome();
  }

  void set_bounds(const display::DisplayRecord& display) override {
    calls.push_back("set_bounds " + display.device_name);
  }

  // Calls succeed until this many more have; every call after that fails.
  std::optional<std::size_t> calls_before_failure;
  std::vector<std::string> calls;

 private:
  std::expected<void, InputError> outcome() {
    if (calls_before_failure) {
      if (*calls_before_failure == 0) {
        return std::unexpected(InputError::kNotAllSent);
      }
      --*calls_before_failure;
    }
    return {};
  }

  static std::string describe(const protocol::input_event::PointerMove&) { return "move"; }
  static std::string describe(const protocol::input_event::PointerButton& button) {
    return "button " + std::to_string(button.button) + (button.pressed ? " down" : " up");
  }
  static std::string describe(const protocol::input_event::ScrollDelta&) { return "scroll"; }
  static std::string describe(const protocol::input_event::KeyboardKey& key) {
    return "key " + std::to_string(key.usage) + (key.down ? " down" : " up");
  }
  template <typename Other>
  static std::string describe(const Other&) {
    return "other";
  }
};

}  // namespace ombrelin::input::testing
