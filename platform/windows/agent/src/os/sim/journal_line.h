#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "json/json_writer.h"

namespace ombrelin::os::sim {

// Builds one journal line: {"call":…, then the call's members in order}.
class JournalLine {
 public:
  explicit JournalLine(std::string_view call) {
    writer_.begin_object();
    writer_.key("call");
    writer_.string(call);
  }

  JournalLine& text(std::string_view key, std::string_view value) {
    writer_.key(key);
    writer_.string(value);
    return *this;
  }
  JournalLine& number(std::string_view key, std::int64_t value) {
    writer_.key(key);
    writer_.signed_integer(value);
    return *this;
  }
  JournalLine& flag(std::string_view key, bool value) {
    writer_.key(key);
    writer_.boolean(value);
    return *this;
  }

  [[nodiscard]] std::string finish() {
    writer_.end_object();
    return std::move(writer_).take();
  }

 private:
  json::JsonWriter writer_;
};

}  // namespace ombrelin::os::sim
