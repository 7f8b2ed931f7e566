#pragma once

// Protobuf wire-format primitives shared by the ticket codecs. Reading is strict
// about structure (bounded varints, in-range keys, lengths inside the buffer,
// bounded group nesting); canonical form is checked by the callers, which encode
// again and compare.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "ombrelin/protocol/byte_types.h"

namespace ombrelin::protocol::wire {

enum class WireType : std::uint8_t {
  kVarint = 0,
  kFixed64 = 1,
  kLengthDelimited = 2,
  kStartGroup = 3,
  kEndGroup = 4,
  kFixed32 = 5,
};

// Nesting budget of a top-level message; every group or embedded message spends one.
inline constexpr int kDepthBudget = 100;

enum class WireFault : std::uint8_t {
  kTruncatedVarint,
  kVarintTooLong,
  kKeyTooLarge,
  kFieldNumberZero,
  kReservedWireType,
  kWrongWireType,
  kLengthPastEnd,
  kTruncatedFixed,
  kGroupTooDeep,
  kUnexpectedEndGroup,
  kUnmatchedEndGroup,
  kUnterminatedGroup,
  kInvalidUtf8,
};

[[nodiscard]] std::string_view describe(WireFault fault) noexcept;

struct FieldKey {
  std::uint32_t number = 0;
  WireType type = WireType::kVarint;
};

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) noexcept : rest_(bytes) {}

  [[nodiscard]] bool at_end() const noexcept { return rest_.empty(); }

  // At most 10 bytes, and the value must fit in 64 bits.
  [[nodiscard]] std::expected<std::uint64_t, WireFault> varint() noexcept;

  // A key of at most 32 bits, field number 1 or more, wire type 0 to 5.
  [[nodiscard]] std::expected<FieldKey, WireFault> key() noexcept;

  // A length varint and that many bytes.
  [[nodiscard]] std::expected<std::span<const std::uint8_t>, WireFault> length_delimited() noexcept;

  // Skips the value of an unknown field. A group spends one level of `depth_budget`
  // and must end with the end-group key of its own number.
  [[nodiscard]] std::expected<void, WireFault> skip(FieldKey key, int depth_budget) noexcept;

 private:
  std::span<const std::uint8_t> rest_;
};

[[nodiscard]] constexpr std::size_t varint_size(std::uint64_t value) noexcept {
  std::size_t size = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++size;
  }
  return size;
}

void append_varint(Bytes& out, std::uint64_t value);

void append_key(Bytes& out, std::uint32_t number, WireType type);

// Key, minimal length varint and the bytes.
void append_length_delimited(Bytes& out, std::uint32_t number, std::span<const std::uint8_t> bytes);

// "<message>.<field>: <fault>", the text a decode failure carries.
[[nodiscard]] std::string fault_text(std::string_view message, std::string_view field,
                                     WireFault fault);

}  // namespace ombrelin::protocol::wire
