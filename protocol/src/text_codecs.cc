#include "ombrelin/protocol/text_codecs.h"

#include <sodium.h>

#include <algorithm>
#include <array>

namespace ombrelin::protocol {
namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";
constexpr std::string_view kBase64UrlAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// The value of each byte as a base64url character, -1 for every other byte.
constexpr std::array<std::int8_t, 256> kBase64UrlValues = [] {
  std::array<std::int8_t, 256> values{};
  values.fill(-1);
  for (std::size_t i = 0; i < kBase64UrlAlphabet.size(); ++i) {
    values[static_cast<unsigned char>(kBase64UrlAlphabet[i])] = static_cast<std::int8_t>(i);
  }
  return values;
}();

constexpr bool is_lower_hex_digit(char c) noexcept {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

constexpr std::uint8_t lower_hex_value(char c) noexcept {
  return static_cast<std::uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10);
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
  // Our own decoder: libsodium's (1.0.18) reads bytes of 0x80 and above as
  // negative values that alias alphabet characters, so it would accept texts that
  // are not base64url at all.
  const std::size_t remainder = text.size() % 4;
  if (text.empty() || remainder == 1) {
    return std::nullopt;
  }
  const std::size_t size = text.size() / 4 * 3 + (remainder == 0 ? 0 : remainder - 1);
  if (size > byte_limit) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(size);
  std::uint32_t bits = 0;
  std::size_t pending = 0;  // characters gathered into `bits`
  for (const char c : text) {
    const std::int8_t value = kBase64UrlValues[static_cast<unsigned char>(c)];
    if (value < 0) {
      return std::nullopt;
    }
    bits = bits << 6 | static_cast<std::uint32_t>(value);
    if (++pending == 4) {
      bytes.push_back(static_cast<std::uint8_t>(bits >> 16));
      bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
      bytes.push_back(static_cast<std::uint8_t>(bits));
      bits = 0;
      pending = 0;
    }
  }
  // A final group of two or three characters carries 4 or 2 bits beyond its
  // bytes; they must be zero, so that every byte string has exactly one text.
  if (pending == 2) {
    if ((bits & 0x0f) != 0) {
      return std::nullopt;
    }
    bytes.push_back(static_cast<std::uint8_t>(bits >> 4));
  } else if (pending == 3) {
    if ((bits & 0x03) != 0) {
      return std::nullopt;
    }
    bytes.push_back(static_cast<std::uint8_t>(bits >> 10));
    bytes.push_back(static_cast<std::uint8_t>(bits >> 2));
  }
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
  // Every position but the four hyphens' holds a digit, so each identifier has
  // exactly one spelling.
  std::array<char, 32> digits{};
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (at == 8 || at == 13 || at == 18 || at == 23) {
      continue;
    }
    if (!is_lower_hex_digit(text[at])) {
      return std::nullopt;
    }
    digits[count++] = text[at];
  }
  Uuid bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>((lower_hex_value(digits[2 * i]) << 4) |
                                         lower_hex_value(digits[2 * i + 1]));
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
