#include "ombrelin/protocol/unicode_text.h"

#include <cstdint>

namespace ombrelin::protocol {
namespace {

struct Decoded {
  char32_t code_point;
  std::size_t length;
};

// Decodes the character starting at `at`. Malformed input yields U+FFFD over one
// byte, which is neither white space nor a control, so it can only make a name
// look less blank, never hide a control character.
Decoded decode_at(std::string_view text, std::size_t at) noexcept {
  const auto lead = static_cast<std::uint8_t>(text[at]);
  std::size_t length = 0;
  char32_t value = 0;
  if (lead < 0x80) {
    return {lead, 1};
  }
  if ((lead & 0xe0) == 0xc0) {
    length = 2;
    value = lead & 0x1fu;
  } else if ((lead & 0xf0) == 0xe0) {
    length = 3;
    value = lead & 0x0fu;
  } else if ((lead & 0xf8) == 0xf0) {
    length = 4;
    value = lead & 0x07u;
  } else {
    return {0xfffd, 1};
  }
  if (at + length > text.size()) {
    return {0xfffd, 1};
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<std::uint8_t>(text[at + i]);
    if ((next & 0xc0) != 0x80) {
      return {0xfffd, 1};
    }
    value = (value << 6) | (next & 0x3fu);
  }
  return {value, length};
}

constexpr bool is_white_space(char32_t c) noexcept {
  return (c >= 0x09 && c <= 0x0d) || c == 0x20 || c == 0x85 || c == 0xa0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200a) || c == 0x2028 || c == 0x2029 || c == 0x202f || c == 0x205f ||
         c == 0x3000;
}

constexpr bool is_control(char32_t c) noexcept { return c <= 0x1f || (c >= 0x7f && c <= 0x9f); }

struct Range {
  char32_t first;
  char32_t last;
};

// The format characters (general category Cf, Unicode 15) and the line and
// paragraph separators U+2028 and U+2029, in ascending ranges.
constexpr Range kFormatCharacters[] = {
    {0xAD, 0xAD},       {0x600, 0x605},     {0x61C, 0x61C},     {0x6DD, 0x6DD},
    {0x70F, 0x70F},     {0x890, 0x891},     {0x8E2, 0x8E2},     {0x180E, 0x180E},
    {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
    {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
    {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

constexpr bool is_format_or_separator(char32_t c) noexcept {
  for (const Range& range : kFormatCharacters) {
    if (c < range.first) {
      return false;
    }
    if (c <= range.last) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::string_view trim_unicode_white_space(std::string_view text) noexcept {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const Decoded d = decode_at(text, begin);
    if (!is_white_space(d.code_point)) {
      break;
    }
    begin += d.length;
  }
  // Walk forward remembering where the last non-blank character ended.
  std::size_t end = begin;
  for (std::size_t at = begin; at < text.size();) {
    const Decoded d = decode_at(text, at);
    at += d.length;
    if (!is_white_space(d.code_point)) {
      end = at;
    }
  }
  return text.substr(begin, end - begin);
}

bool contains_format_character(std::string_view text) noexcept {
  for (std::size_t at = 0; at < text.size();) {
    const Decoded d = decode_at(text, at);
    if (is_format_or_separator(d.code_point)) {
      return true;
    }
    at += d.length;
  }
  return false;
}

bool contains_control_character(std::string_view text) noexcept {
  for (std::size_t at = 0; at < text.size();) {
    const Decoded d = decode_at(text, at);
    if (is_control(d.code_point)) {
      return true;
    }
    at += d.length;
  }
  return false;
}

}  // namespace ombrelin::protocol
