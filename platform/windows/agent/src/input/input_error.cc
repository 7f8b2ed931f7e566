#include "input/input_error.h"

namespace ombrelin::input {

std::string_view to_string(InputError error) noexcept {
  switch (error) {
    case InputError::kUnsupported:
      return "input event is unsupported by the Windows adapter";
    case InputError::kNotAllSent:
      break;
    case InputError::kNoScreenSize:
      return "Windows adapter operation failed: could not get the dimensions of the screen";
    case InputError::kNoCursorPosition:
      return "Windows adapter operation failed: could not get the current mouse location";
  }
  return "Windows adapter operation failed: not all input events were sent. they may have been "
         "blocked by UIPI";
}

}  // namespace ombrelin::input
