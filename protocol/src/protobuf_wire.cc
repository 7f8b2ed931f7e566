#include "protobuf_wire.h"

namespace ombrelin::protocol::wire {

std::string_view describe(WireFault fault) noexcept {
  switch (fault) {
    case WireFault::kTruncatedVarint:
      return "varint runs past the end";
    case WireFault::kVarintTooLong:
      return "varint longer than 10 bytes or above 64 bits";
    case WireFault::kKeyTooLarge:
      return "key above 32 bits";
    case WireFault::kFieldNumberZero:
      return "field number 0";
    case WireFault::kReservedWireType:
      return "wire type 6 or 7";
    case WireFault::kWrongWireType:
      return "wrong wire type for the field";
    case WireFault::kLengthPastEnd:
      return "length runs past the end";
    case WireFault::kTruncatedFixed:
      return "fixed-width value runs past the end";
    case WireFault::kGroupTooDeep:
      return "groups nested too deeply";
    case WireFault::kUnexpectedEndGroup:
      return "end-group key without a group";
    case WireFault::kUnmatchedEndGroup:
      return "end-group key of another field";
    case WireFault::kUnterminatedGroup:
      return "group without its end-group key";
    case WireFault::kInvalidUtf8:
      return "text is not valid UTF-8";
  }
  return "unknown fault";
}

std::expected<std::uint64_t, WireFault> Reader::varint() noexcept {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < 10; ++i) {
    if (i >= rest_.size()) {
      return std::unexpected(WireFault::kTruncatedVarint);
    }
    const std::uint8_t byte = rest_[i];
    // The tenth byte holds only bit 63; anything more overflows 64 bits.
    if (i == 9 && byte > 1) {
      return std::unexpected(WireFault::kVarintTooLong);
    }
    value |= std::uint64_t{byte & 0x7fu} << (7 * i);
    if (byte < 0x80) {
      rest_ = rest_.subspan(i + 1);
      return value;
    }
  }
  return std::unexpected(WireFault::kVarintTooLong);
}

std::expected<FieldKey, WireFault> Reader::key() noexcept {
  const auto raw = varint();
  if (!raw) {
    return std::unexpected(raw.error());
  }
  if (*raw > 0xffffffffu) {
    return std::unexpected(WireFault::kKeyTooLarge);
  }
  const auto number = static_cast<std::uint32_t>(*raw >> 3);
  const auto type = static_cast<std::uint8_t>(*raw & 7u);
  if (number == 0) {
    return std::unexpected(WireFault::kFieldNumberZero);
  }
  if (type > 5) {
    return std::unexpected(WireFault::kReservedWireType);
  }
  return FieldKey{number, static_cast<WireType>(type)};
}

std::expected<std::span<const std::uint8_t>, WireFault> Reader::length_delimited() noexcept {
  const auto length = varint();
  if (!length) {
    return std::unexpected(length.error());
  }
  if (*length > rest_.size()) {
    return std::unexpected(WireFault::kLengthPastEnd);
  }
  const auto size = static_cast<std::size_t>(*length);
  const auto bytes = rest_.first(size);
  rest_ = rest_.subspan(size);
  return bytes;
}

std::expected<void, WireFault> Reader::skip(FieldKey key, int depth_budget) noexcept {
  switch (key.type) {
    case WireType::kVarint:
      if (const auto v = varint(); !v) {
        return std::unexpected(v.error());
      }
      return {};
    case WireType::kFixed64:
    case WireType::kFixed32: {
      const std::size_t width = key.type == WireType::kFixed64 ? 8 : 4;
      if (rest_.size() < width) {
        return std::unexpected(WireFault::kTruncatedFixed);
      }
      rest_ = rest_.subspan(width);
      return {};
    }
    case WireType::kLengthDelimited:
      if (const auto v = length_delimited(); !v) {
        return std::unexpected(v.error());
      }
      return {};
    case WireType::kStartGroup:
      break;
    case WireType::kEndGroup:
      return std::unexpected(WireFault::kUnexpectedEndGroup);
  }
  if (depth_budget <= 0) {
    return std::unexpected(WireFault::kGroupTooDeep);
  }
  while (!at_end()) {
    const auto inner = this->key();
    if (!inner) {
      return std::unexpected(inner.error());
    }
    if (inner->type == WireType::kEndGroup) {
      if (inner->number != key.number) {
        return std::unexpected(WireFault::kUnmatchedEndGroup);
      }
      return {};
    }
    if (const auto skipped = skip(*inner, depth_budget - 1); !skipped) {
      return skipped;
    }
  }
  return std::unexpected(WireFault::kUnterminatedGroup);
}

void append_varint(Bytes& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<std::uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<std::uint8_t>(value));
}

void append_key(Bytes& out, std::uint32_t number, WireType type) {
  append_varint(out, (std::uint64_t{number} << 3) | static_cast<std::uint8_t>(type));
}

void append_length_delimited(Bytes& out, std::uint32_t number,
                             std::span<const std::uint8_t> bytes) {
  append_key(out, number, WireType::kLengthDelimited);
  append_varint(out, bytes.size());
  out.insert(out.end(), bytes.begin(), bytes.end());
}

std::string fault_text(std::string_view message, std::string_view field, WireFault fault) {
  std::string text;
  text.append(message).append(".").append(field).append(": ").append(describe(fault));
  return text;
}

}  // namespace ombrelin::protocol::wire
