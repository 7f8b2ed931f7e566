#include "ombrelin/protocol/text_codecs.h"

#include <sodium.h>

#include <algorithm>

namespace ombrelin::protocol {
namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

constexpr bool is_lower_hex_digit(char c) noexcept {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

constexpr std::uint8_t lower_hex_value(char c) noexcept {
  return static_cast<std::uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10);
}

constexpr bool is_base64url_char(char c) noexcept {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

}  // namespace

bool is_lower_hex_token(std::string_view text) noexcept {
  return text.size() == kTokenLength && std::ranges::all_of(text, is_lower_hex_digit);
}

std::string encode_lower_hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    text.push_back(kHexDigits[byte >> 4]);
    text.push_back(kHexDigits[byte & 0x0f]);
  }
  return text;
}

std::optional<std::vector<std::uint8_t>> decode_base64url_canonical(std::string_view text,
                                                                    std::size_t byte_limit) {
  // libsodium's decoder, called without an end pointer, already refuses padding,
  // a dangling sixth-bit group, non-zero trailing bits and output beyond the
  // limit; it accepts the empty text, which has no meaning here. Its character
  // test (1.0.18) reads a byte of 0x80 or more as a negative value that aliases an
  // alphabet character, so the alphabet is checked here first.
  if (text.empty() || text.size() % 4 == 1 || !std::ranges::all_of(text, is_base64url_char)) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(std::min(byte_limit, text.size() / 4 * 3 + 2));
  std::size_t decoded = 0;
  if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &decoded,
                        nullptr, sodium_base64_VARIANT_URLSAFE_NO_PADDING) != 0) {
    return std::nullopt;
  }
  bytes.resize(decoded);
  return bytes;
}

std::string encode_base64url(std::span<const std::uint8_t> bytes) {
  constexpr int kVariant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
  std::string text(sodium_base64_encoded_len(bytes.size(), kVariant), '\0');
  sodium_bin2base64(text.data(), text.size(), bytes.data(), bytes.size(), kVariant);
  text.resize(text.size() - 1);  // the encoder's terminating NUL
  return text;
}

std::optional<Uuid> parse_uuid_text(std::string_view text) noexcept {
  if (text.size() != kUuidTextLength || text[8] != '-' || text[13] != '-' || text[18] != '-' ||
      text[23] != '-') {
    return std::nullopt;
  }
  if (text[14] < '1' || text[14] > '8') {
    return std::nullopt;
  }
  if (text[19] != '8' && text[19] != '9' && text[19] != 'a' && text[19] != 'b') {
    return std::nullopt;
  }
  // Hyphens are dropped wherever they stand; a hyphen outside the four fixed
  // places leaves the last bytes unfilled (zero) and a final digit unpaired.
  Uuid bytes{};
  std::size_t filled = 0;
  int high = -1;
  for (const char c : text) {
    if (c == '-') {
      continue;
    }
    if (!is_lower_hex_digit(c)) {
      return std::nullopt;
    }
    if (high < 0) {
      high = lower_hex_value(c);
    } else {
      bytes[filled++] = static_cast<std::uint8_t>((high << 4) | lower_hex_value(c));
      high = -1;
    }
  }
  if (std::ranges::all_of(bytes, [](std::uint8_t b) { return b == 0; })) {
    return std::nullopt;
  }
  return bytes;
}

std::string format_uuid_text(const Uuid& bytes) {
  const std::string hex = encode_lower_hex(bytes);
  std::string text;
  text.reserve(kUuidTextLength);
  text.append(hex, 0, 8).append(1, '-').append(hex, 8, 4).append(1, '-');
  text.append(hex, 12, 4).append(1, '-').append(hex, 16, 4).append(1, '-').append(hex, 20, 12);
  return text;
}

}  // namespace ombrelin::protocol
