#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace ombrelin::display {

// Why the displays could not be enumerated. Never shown to the page: the session
// start answers with its own fixed text.
struct DisplayError {
  enum class Kind : std::uint8_t { kOperationFailed, kDisplayTooLarge };

  Kind kind = Kind::kOperationFailed;
  std::string message;  // what failed; only for kOperationFailed

  [[nodiscard]] static DisplayError operation_failed(std::string text) {
    return {Kind::kOperationFailed, std::move(text)};
  }
  [[nodiscard]] static DisplayError display_too_large() { return {Kind::kDisplayTooLarge, {}}; }

  bool operator==(const DisplayError&) const = default;
};

[[nodiscard]] std::string to_string(const DisplayError& error);

}  // namespace ombrelin::display
