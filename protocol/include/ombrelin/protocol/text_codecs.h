#pragma once

// The canonical text forms of identifiers. Every identifier the agent receives as
// text has exactly one accepted spelling, so two spellings can never name the same
// thing and a decoded value always re-encodes to the text that was received.
// Decoders report failure without detail; the caller picks the message.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelin::protocol {

inline constexpr std::size_t kTokenLength = 32;
inline constexpr std::size_t kUuidTextLength = 36;

using Uuid = std::array<std::uint8_t, 16>;

// True exactly for 32 characters of "0"-"9" and "a"-"f".
[[nodiscard]] bool is_lower_hex_token(std::string_view text) noexcept;

// Two lowercase hexadecimal digits per byte, high nibble first.
[[nodiscard]] std::string encode_lower_hex(std::span<const std::uint8_t> bytes);

// URL-safe base64 without padding, accepted only in its one canonical spelling:
// no "=", no foreign characters, zero data-free trailing bits, not empty, and at
// most `byte_limit` decoded bytes. Callers check an exact length themselves.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> decode_base64url_canonical(
    std::string_view text, std::size_t byte_limit);

// URL-safe base64 without padding (the inverse of the decoder above).
[[nodiscard]] std::string encode_base64url(std::span<const std::uint8_t> bytes);

// Lowercase UUID text with hyphens at 8, 13, 18 and 23, version "1"-"8", variant
// "8", "9", "a" or "b"; the all-zero identifier is refused.
[[nodiscard]] std::optional<Uuid> parse_uuid_text(std::string_view text) noexcept;

[[nodiscard]] std::string format_uuid_text(const Uuid& bytes);

}  // namespace ombrelin::protocol
