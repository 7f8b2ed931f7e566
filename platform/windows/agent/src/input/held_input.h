#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace ombrelin::input {

// A mouse button as it is sent to Windows: a physical button, which Windows
// then maps to the user's primary or secondary one.
enum class MouseButton : std::uint8_t { kLeft, kRight, kMiddle, kBack, kForward };

// A mouse button as the remote party names it: its primary and secondary are
// the local user's, whichever physical buttons those are on this desktop.
enum class RemoteButton : std::uint8_t { kPrimary, kSecondary, kMiddle, kBack, kForward };

// The one record of what the remote side holds down through this agent: virtual
// keys, mouse buttons and the HID modifier byte the held modifier keys stand for.
// An item counts as held from just before its press is sent (a press reported as
// failed may still have reached the desktop) until Windows has taken its release;
// a release that Windows refused leaves the item held and owed, so that it is
// sent again at the next chance. A button remembers which remote button it was
// pressed for, so that its release goes to the same physical button even when
// the local user swaps the buttons in between. Main thread only.
class HeldInput {
 public:
  void pressing(std::uint16_t virtual_key) { keys_[virtual_key] = Hold::kDown; }
  void pressing(MouseButton button, RemoteButton pressed_for);
  void released(std::uint16_t virtual_key) { keys_.erase(virtual_key); }
  void released(MouseButton button);
  // The physical button pressed for `remote` and not yet released, if any.
  [[nodiscard]] std::optional<MouseButton> button_for(RemoteButton remote) const;
  // Windows refused the release of an item: it stays held, its release owed.
  void release_refused(std::uint16_t virtual_key);
  void release_refused(MouseButton button);

  [[nodiscard]] std::vector<std::uint16_t> keys() const;
  [[nodiscard]] std::vector<MouseButton> buttons() const;
  // The held items whose release Windows refused, in the same orders.
  [[nodiscard]] std::vector<std::uint16_t> keys_owed() const;
  [[nodiscard]] std::vector<MouseButton> buttons_owed() const;
  [[nodiscard]] bool any_owed() const;
  [[nodiscard]] bool empty() const { return keys_.empty() && buttons_.empty(); }

  // The HID modifier byte now applied (Control, Shift, Alt, Meta; left then right).
  [[nodiscard]] std::uint8_t modifier_byte() const { return modifier_byte_; }
  void set_modifier_byte(std::uint8_t byte) { modifier_byte_ = byte; }

 private:
  enum class Hold : std::uint8_t { kDown, kReleaseOwed };

  std::map<std::uint16_t, Hold> keys_;
  std::map<MouseButton, Hold> buttons_;
  std::map<RemoteButton, MouseButton> remote_buttons_;
  std::uint8_t modifier_byte_ = 0;
};

}  // namespace ombrelin::input
