#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "os/low_level_input.h"

namespace ombrelin::session {

// The emergency shortcut, Ctrl+Alt+Shift+F12, as the local user's hands make
// it. A registered hot key fires only when the held modifiers match exactly, so
// a key the remote side holds (MetaLeft, say) would turn the local user's
// shortcut into another combination; this watch looks at the keys of the
// devices alone, so the shortcut stops the session whatever the remote side
// holds. And since the hot key also fires on injected input, an injected F12
// that would complete the combination is dropped: nothing a program injects can
// stop the session, nor can it be mistaken for the local user.
class EmergencyShortcutWatch {
 public:
  enum class Verdict : std::uint8_t { kPass, kDrop, kStop };

  [[nodiscard]] Verdict judge(const os::LowLevelInput& input);

 private:
  [[nodiscard]] static bool chord_held(const std::bitset<256>& keys);

  std::bitset<256> device_keys_;  // held on the local user's devices
  std::bitset<256> all_keys_;     // held by anyone, as far as seen
  bool f12_dropped_ = false;      // the matching release is dropped too
};

// Tells genuine local input: a key press, a mouse button, or a mouse movement of
// more than a few pixels, from a device. Injected input never counts, however
// it is aimed, and a remote move of the pointer is no movement of the local
// user's mouse. A device move that lands exactly where one of the last injected
// moves went is taken for the system's echo of that move (a windowing layer
// that warps its own pointer reports it back as device input), not for a hand.
class LocalActivityWatch {
 public:
  // Pixels the local user's mouse must travel, in any direction, to count.
  static constexpr std::int32_t kMovementThreshold = 4;

  [[nodiscard]] bool counts(const os::LowLevelInput& input);

 private:
  static constexpr std::size_t kInjectedPointsKept = 8;

  [[nodiscard]] bool echoes_injected(os::CursorPoint point) const;

  std::optional<os::CursorPoint> last_point_;  // where the pointer was last seen
  std::int32_t travelled_ = 0;                 // by the device since it last counted
  std::array<std::optional<os::CursorPoint>, kInjectedPointsKept> injected_points_;
  std::size_t next_injected_point_ = 0;
};

}  // namespace ombrelin::session
