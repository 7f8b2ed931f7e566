#pragma once

#include <cstdint>
#include <expected>
#include <string_view>
#include <vector>

#include "input/pointer_mapping.h"
#include "os/input_api.h"

namespace ombrelin::input {

enum class MouseButton : std::uint8_t { kLeft, kRight, kMiddle, kBack, kForward };

enum class WheelAxis : std::uint8_t { kVertical, kHorizontal };

// Why an injection failed.
enum class InjectorError : std::uint8_t {
  kNotAllSent,        // SendInput inserted fewer records than given
  kNoScreenSize,      // a screen metric was unusable
  kNoCursorPosition,  // GetCursorPos failed
};

[[nodiscard]] std::string_view injector_message(InjectorError error);

// Every INPUT record's dwExtraInfo, so that the agent's own input can be told
// apart by hooks and by itself.
inline constexpr std::uint64_t kInjectedExtraInfo = 100;

// Builds INPUT records and sends each with its own SendInput call. It remembers
// the keys and buttons that Windows accepted as pressed and not yet released,
// and releases them when it is destroyed, so that nothing is left held down
// however the session ends.
class InputInjector {
 public:
  // `api` outlives the injector.
  explicit InputInjector(os::InputApi& api) : api_(api) {}
  InputInjector(const InputInjector&) = delete;
  InputInjector& operator=(const InputInjector&) = delete;
  // Releases every key, then every button, still pressed; failures are ignored.
  ~InputInjector();

  // An absolute move to a pixel of the primary screen.
  std::expected<void, InjectorError> move_to(PixelPoint pixel);
  // An absolute move to the current cursor position plus (dx, dy).
  std::expected<void, InjectorError> move_by(std::int32_t dx, std::int32_t dy);
  std::expected<void, InjectorError> button(MouseButton button, bool press);
  // `steps` wheel notches; positive scrolls down or right.
  std::expected<void, InjectorError> wheel(WheelAxis axis, std::int32_t steps);
  std::expected<void, InjectorError> key(std::uint16_t virtual_key, bool press);

 private:
  std::expected<void, InjectorError> send(const os::InputRecord& record);

  os::InputApi& api_;
  // Each entry once: a repeated press adds nothing, a release removes it.
  std::vector<std::uint16_t> pressed_keys_;
  std::vector<MouseButton> pressed_buttons_;
};

}  // namespace ombrelin::input
