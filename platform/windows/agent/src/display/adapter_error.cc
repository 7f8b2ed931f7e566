#include "display/adapter_error.h"

namespace ombrelin::display {

std::string to_string(const AdapterError& error) {
  switch (error.kind) {
    case AdapterError::Kind::kUnsupportedInput:
      return "input event is unsupported by the Windows adapter";
    case AdapterError::Kind::kOperationFailed:
      return "Windows adapter operation failed: " + error.message;
    case AdapterError::Kind::kDisplayTooLarge:
      return "display exceeds the capture allocation safety limit";
  }
  return "Windows adapter operation failed: " + error.message;
}

}  // namespace ombrelin::display
