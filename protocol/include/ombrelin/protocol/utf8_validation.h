#pragma once

#include <cstdint>
#include <span>

namespace ombrelin::protocol {

// Well-formed UTF-8 only: no overlong forms, no surrogates, nothing above U+10FFFF.
[[nodiscard]] bool is_valid_utf8(std::span<const std::uint8_t> bytes) noexcept;

}  // namespace ombrelin::protocol
