#pragma once

// The input Windows shows a low-level keyboard and mouse hook before any window
// sees it: the local user's devices and software injection (SendInput, of this
// process or any other) alike, told apart by the injected flag.

#include <cstdint>
#include <functional>
#include <utility>

#include "os/input_api.h"

namespace ombrelin::os {

enum class LowLevelKind : std::uint8_t {
  kKeyPress,
  kKeyRelease,
  kButtonPress,
  kButtonRelease,
  kMove,
  kWheel,
};

// The mouse button of a button event, as the hook reports it (physical buttons:
// the system has not applied swapped buttons yet).
enum class LowLevelButton : std::uint8_t { kNone, kLeft, kRight, kMiddle, kX1, kX2 };

struct LowLevelInput {
  LowLevelKind kind = LowLevelKind::kMove;
  std::uint32_t vk = 0;                           // key events: the virtual key
  LowLevelButton button = LowLevelButton::kNone;  // button events
  CursorPoint point;                              // mouse events: screen pixels
  bool injected = false;                          // LLKHF_INJECTED / LLMHF_INJECTED

  bool operator==(const LowLevelInput&) const = default;
};

[[nodiscard]] constexpr LowLevelInput key_input(LowLevelKind kind, std::uint32_t vk,
                                                bool injected) {
  LowLevelInput input;
  input.kind = kind;
  input.vk = vk;
  input.injected = injected;
  return input;
}

[[nodiscard]] constexpr LowLevelInput mouse_input(LowLevelKind kind, LowLevelButton button,
                                                  CursorPoint point, bool injected) {
  LowLevelInput input;
  input.kind = kind;
  input.button = button;
  input.point = point;
  input.injected = injected;
  return input;
}

// Whether the event goes on to the system and its windows.
enum class InputVerdict : std::uint8_t { kPass, kDrop };

// Called on the watching thread, for every event, before any window sees it.
// Must answer quickly: Windows removes a hook that keeps the input waiting.
class LowLevelInputListener {
 public:
  [[nodiscard]] virtual InputVerdict on_low_level_input(const LowLevelInput& input) noexcept = 0;

 protected:
  ~LowLevelInputListener() = default;
};

// Removes its hooks when destroyed, on the thread that installed them.
class InputWatch {
 public:
  InputWatch() = default;
  explicit InputWatch(std::move_only_function<void()> remove) : remove_(std::move(remove)) {}
  InputWatch(InputWatch&& other) noexcept : remove_(std::exchange(other.remove_, nullptr)) {}
  InputWatch& operator=(InputWatch&& other) noexcept {
    if (this != &other) {
      reset();
      remove_ = std::exchange(other.remove_, nullptr);
    }
    return *this;
  }
  InputWatch(const InputWatch&) = delete;
  InputWatch& operator=(const InputWatch&) = delete;
  ~InputWatch() { reset(); }

  void reset() {
    if (auto remove = std::exchange(remove_, nullptr)) {
      remove();
    }
  }

 private:
  std::move_only_function<void()> remove_;
};

}  // namespace ombrelin::os
