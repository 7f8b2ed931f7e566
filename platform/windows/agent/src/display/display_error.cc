#include "display/display_error.h"

namespace ombrelin::display {

std::string to_string(const DisplayError& error) {
  switch (error.kind) {
    case DisplayError::Kind::kOperationFailed:
      return "Windows adapter operation failed: " + error.message;
    case DisplayError::Kind::kDisplayTooLarge:
      return "display exceeds the capture allocation safety limit";
  }
  return "Windows adapter operation failed: " + error.message;
}

}  // namespace ombrelin::display
