#pragma once

// Small byte-level predicates shared by the rules.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace ombrelin::protocol {

[[nodiscard]] inline bool is_all_zero(std::span<const std::uint8_t> bytes) noexcept {
  return std::ranges::all_of(bytes, [](std::uint8_t b) { return b == 0; });
}

// 1 to `limit` bytes, each 0x21..0x7E: no space, no control, nothing beyond ASCII.
[[nodiscard]] inline bool is_printable_ascii(std::string_view text, std::size_t limit) noexcept {
  return !text.empty() && text.size() <= limit &&
         std::ranges::all_of(text, [](char c) { return c >= 0x21 && c <= 0x7e; });
}

[[nodiscard]] constexpr std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) noexcept {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

}  // namespace ombrelin::protocol
