#pragma once

// Checks on the human-readable names that reach the local user (device and
// requester names). The text is expected to be valid UTF-8; a malformed sequence
// is read as a single character that is neither white space nor a control.

#include <string_view>

namespace ombrelin::protocol {

// The text without Unicode White_Space characters at either end.
[[nodiscard]] std::string_view trim_unicode_white_space(std::string_view text) noexcept;

// True when any character is a C0 or C1 control (U+0000-U+001F, U+007F-U+009F).
[[nodiscard]] bool contains_control_character(std::string_view text) noexcept;

// True when any character is a format character (general category Cf: the
// bidirectional overrides and isolates, zero-width characters and the like) or
// the line or paragraph separator (U+2028, U+2029): characters that can reorder,
// hide or break the text around them when it is shown.
[[nodiscard]] bool contains_format_character(std::string_view text) noexcept;

}  // namespace ombrelin::protocol
