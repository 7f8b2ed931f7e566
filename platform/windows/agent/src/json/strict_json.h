#pragma once

// Strict reading of JSON objects into declared records: every declared member
// must be present exactly once with its exact JSON type, no member may be given
// twice, null is never a value, and no undeclared member may remain. The decoder's
// failures carry no detail: whoever called it decides what a failure means.

#include <simdjson.h>

#include <concepts>
#include <cstdint>
#include <expected>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrelin::json {

struct DecodeError {};

template <typename T>
using Decoded = std::expected<T, DecodeError>;

// Objects and arrays may nest this deep, the outermost counting as the first.
inline constexpr std::size_t kMaxNestingDepth = 127;

// The members of one JSON object, each to be taken once.
class StrictObject {
 public:
  // Refuses anything but an object, and an object that names a member twice.
  [[nodiscard]] static Decoded<StrictObject> open(simdjson::dom::element value);

  [[nodiscard]] Decoded<simdjson::dom::element> take(std::string_view name);
  // For records whose members are optional: the member if given (then taken).
  [[nodiscard]] std::optional<simdjson::dom::element> take_if_present(std::string_view name);
  [[nodiscard]] Decoded<std::string> take_string(std::string_view name);
  [[nodiscard]] Decoded<bool> take_bool(std::string_view name);
  [[nodiscard]] Decoded<simdjson::dom::object> take_object(std::string_view name);
  [[nodiscard]] Decoded<simdjson::dom::array> take_array(std::string_view name);
  // Any JSON number, narrowed to the nearest 32-bit float (infinity beyond them).
  [[nodiscard]] Decoded<float> take_float(std::string_view name);

  template <std::integral T>
  [[nodiscard]] Decoded<T> take_integer(std::string_view name) {
    const auto value = take(name);
    if (!value) {
      return std::unexpected(DecodeError{});
    }
    return read_integer<T>(*value);
  }

  // Succeeds only when every member was taken.
  [[nodiscard]] Decoded<void> finish() const;

  // A JSON integer that fits T exactly; 1.0, "1" and out-of-range values fail.
  template <std::integral T>
  [[nodiscard]] static Decoded<T> read_integer(simdjson::dom::element value) {
    using Limits = std::numeric_limits<T>;
    if (value.type() == simdjson::dom::element_type::INT64) {
      const std::int64_t n = value.get_int64().value_unsafe();
      if (std::cmp_less(n, Limits::min()) || std::cmp_greater(n, Limits::max())) {
        return std::unexpected(DecodeError{});
      }
      return static_cast<T>(n);
    }
    if (value.type() == simdjson::dom::element_type::UINT64) {
      const std::uint64_t n = value.get_uint64().value_unsafe();
      if (std::cmp_greater(n, Limits::max())) {
        return std::unexpected(DecodeError{});
      }
      return static_cast<T>(n);
    }
    return std::unexpected(DecodeError{});
  }

  [[nodiscard]] static Decoded<std::string> read_string(simdjson::dom::element value);

 private:
  struct Member {
    std::string_view name;
    simdjson::dom::element value;
    bool taken = false;
  };
  explicit StrictObject(std::vector<Member> members) : members_(std::move(members)) {}

  // Takes the member and reads it with `read`.
  template <typename Read>
  auto taken_as(std::string_view name, Read read) -> decltype(read(simdjson::dom::element{})) {
    const auto value = take(name);
    if (!value) {
      return std::unexpected(DecodeError{});
    }
    return read(*value);
  }

  std::vector<Member> members_;
};

// A parser that keeps its buffers between documents. Not thread-safe: one per
// thread that decodes.
class DocumentParser {
 public:
  DocumentParser();
  // Parses one document that must be followed only by JSON whitespace. `bytes`
  // must be readable for kPadding bytes past its end.
  [[nodiscard]] Decoded<simdjson::dom::element> parse_padded(std::string_view bytes);
  // Parses one document from an unpadded buffer (copies it).
  [[nodiscard]] Decoded<simdjson::dom::element> parse(std::string_view bytes);

  static constexpr std::size_t kPadding = simdjson::SIMDJSON_PADDING;

 private:
  [[nodiscard]] Decoded<simdjson::dom::element> parse_document(std::string_view bytes, bool copy);

  simdjson::dom::parser parser_;
};

}  // namespace ombrelin::json
