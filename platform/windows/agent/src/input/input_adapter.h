#pragma once

#include <expected>

#include "display/display_record.h"
#include "input/input_error.h"
#include "ombrelin/protocol/input_envelope.h"

namespace ombrelin::input {

// The only place where remote input reaches the operating system. It keeps the
// one record of every key and button it pressed, so that a pause, a stop, a
// failure or the end of the session can always leave the desktop with nothing
// held down. Main thread only.
class InputAdapter {
 public:
  virtual ~InputAdapter() = default;

  // Injects one pointer, button, scroll or key event.
  [[nodiscard]] virtual std::expected<void, InputError> apply_event(
      const protocol::InputEvent& event) = 0;

  // Lets go of every key and button this adapter holds. What Windows refused to
  // release stays held and is released again at the next chance (the first
  // failure is returned).
  virtual std::expected<void, InputError> release_all() = 0;

  // Bounds pointer input by `display` from now on: the approved display as
  // Windows reports it after the display configuration changed.
  virtual void set_bounds(const display::DisplayRecord& display) = 0;
};

}  // namespace ombrelin::input
