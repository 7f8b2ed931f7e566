#pragma once

#include <cstdint>
#include <string_view>

namespace ombrelin::input {

// Why the input adapter did not inject an event. Never shown to the page: the
// control path answers every adapter failure with its own fixed text.
enum class InputError : std::uint8_t {
  kUnsupported,       // an event kind or value the adapter does not inject
  kNotAllSent,        // SendInput inserted fewer records than given
  kNoScreenSize,      // a screen metric was unusable
  kNoCursorPosition,  // GetCursorPos failed
};

[[nodiscard]] std::string_view to_string(InputError error) noexcept;

}  // namespace ombrelin::input
