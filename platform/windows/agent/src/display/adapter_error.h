#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace ombrelin::display {

// The failure of the Windows input adapter, and of the display enumeration that
// feeds it. Never shown to the page: callers answer with their own fixed texts.
struct AdapterError {
  enum class Kind : std::uint8_t { kUnsupportedInput, kOperationFailed, kDisplayTooLarge };

  Kind kind = Kind::kOperationFailed;
  std::string message;  // what failed; only for kOperationFailed

  [[nodiscard]] static AdapterError unsupported_input() { return {Kind::kUnsupportedInput, {}}; }
  [[nodiscard]] static AdapterError operation_failed(std::string text) {
    return {Kind::kOperationFailed, std::move(text)};
  }
  [[nodiscard]] static AdapterError display_too_large() { return {Kind::kDisplayTooLarge, {}}; }

  bool operator==(const AdapterError&) const = default;
};

[[nodiscard]] std::string to_string(const AdapterError& error);

}  // namespace ombrelin::display
