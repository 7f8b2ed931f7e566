#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ombrelin::json {

// Writes compact JSON into a growable buffer: no whitespace, members in the order
// written, strings escaped exactly as the extension expects (quotation mark and
// backslash escaped, \b \t \n \f \r for those five controls, \u00XX in lowercase
// for the other controls, everything else as raw UTF-8). A string that is not
// valid UTF-8 latches the writer into failure instead of producing a document the
// browser would refuse.
class JsonWriter {
 public:
  static constexpr std::size_t kInitialCapacity = 128;

  JsonWriter();

  void begin_object();
  void end_object();
  void begin_array();
  void end_array();
  void key(std::string_view name);
  void string(std::string_view text);
  void unsigned_integer(std::uint64_t value);
  void signed_integer(std::int64_t value);
  void boolean(bool value);
  void null();

  [[nodiscard]] bool failed() const noexcept { return failed_; }
  // The document; meaningful only when nothing failed.
  [[nodiscard]] std::string take() && { return std::move(out_); }

 private:
  static constexpr std::size_t kMaxDepth = 8;

  void before_value();
  void open(char bracket);
  void close(char bracket);
  void write_escaped(std::string_view text);

  std::string out_;
  std::array<bool, kMaxDepth> has_members_{};
  std::size_t depth_ = 0;
  bool after_key_ = false;
  bool failed_ = false;
};

}  // namespace ombrelin::json
