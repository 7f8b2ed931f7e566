#include "json/json_writer.h"

#include <charconv>

#include "json/json_string.h"

namespace ombrelin::json {

JsonWriter::JsonWriter() { out_.reserve(kInitialCapacity); }

void JsonWriter::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (depth_ > 0) {
    if (has_members_[depth_ - 1]) {
      out_.push_back(',');
    }
    has_members_[depth_ - 1] = true;
  }
}

void JsonWriter::open(char bracket) {
  before_value();
  if (depth_ == kMaxDepth) {
    failed_ = true;
    return;
  }
  out_.push_back(bracket);
  has_members_[depth_++] = false;
}

void JsonWriter::close(char bracket) {
  if (depth_ == 0 || after_key_) {
    failed_ = true;
    return;
  }
  --depth_;
  out_.push_back(bracket);
}

void JsonWriter::begin_object() { open('{'); }
void JsonWriter::end_object() { close('}'); }
void JsonWriter::begin_array() { open('['); }
void JsonWriter::end_array() { close(']'); }

void JsonWriter::key(std::string_view name) {
  before_value();
  write_escaped(name);
  out_.push_back(':');
  after_key_ = true;
}

void JsonWriter::string(std::string_view text) {
  before_value();
  write_escaped(text);
}

void JsonWriter::unsigned_integer(std::uint64_t value) {
  before_value();
  std::array<char, 20> digits{};
  const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
  out_.append(digits.data(), end);
}

void JsonWriter::signed_integer(std::int64_t value) {
  before_value();
  std::array<char, 20> digits{};
  const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
  out_.append(digits.data(), end);
}

void JsonWriter::boolean(bool value) {
  before_value();
  out_.append(value ? "true" : "false");
}

void JsonWriter::null() {
  before_value();
  out_.append("null");
}

void JsonWriter::write_escaped(std::string_view text) {
  if (!append_json_string(out_, text)) {
    failed_ = true;
  }
}

}  // namespace ombrelin::json
