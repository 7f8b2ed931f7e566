#include "input/control_serialization.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "json/json_string.h"

namespace ombrelin::input {
namespace {

namespace control = native_protocol::control;

class CanonicalWriter {
 public:
  CanonicalWriter() { out_.reserve(kInitialCapacity); }

  void member(std::string_view name) {
    out_.push_back(out_.empty() ? '{' : ',');
    out_.push_back('"');
    out_.append(name);
    out_.append("\":");
  }

  template <typename Integer>
  void number(Integer value) {
    std::array<char, 24> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    out_.append(digits.data(), end);
  }

  void real(float value) {
    // An infinity comes from a JSON number beyond every float; it is written as
    // the shortest number that reads back as it, and refused by the conversion.
    // NaN, which no JSON number narrows to, has no text.
    if (std::isinf(value)) {
      out_.append(value > 0 ? "1e39" : "-1e39");
      return;
    }
    if (std::isnan(value)) {
      failed_ = true;
      return;
    }
    // Shortest round-trip form; its exponent spelling ("1e-05") is valid JSON.
    std::array<char, 32> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    out_.append(digits.data(), end);
  }

  void boolean(bool value) { out_.append(value ? "true" : "false"); }

  void string(std::string_view text) {
    if (!json::append_json_string(out_, text)) {
      failed_ = true;
    }
  }

  [[nodiscard]] std::optional<std::string> finish() && {
    if (failed_) {
      return std::nullopt;
    }
    out_.push_back('}');
    return std::move(out_);
  }

 private:
  static constexpr std::size_t kInitialCapacity = 128;

  std::string out_;
  bool failed_ = false;
};

std::string_view type_name(const control::Pointer&) { return "pointer"; }
std::string_view type_name(const control::Scroll&) { return "scroll"; }
std::string_view type_name(const control::KeyTransition&) { return "key-transition"; }
std::string_view type_name(const control::PauseInput&) { return "pause-input"; }
std::string_view type_name(const control::ReleaseAll&) { return "release-all"; }
std::string_view type_name(const control::Stop&) { return "stop"; }

void write_members(CanonicalWriter& out, const control::Pointer& pointer) {
  out.member("x");
  out.real(pointer.x);
  out.member("y");
  out.real(pointer.y);
  out.member("buttons");
  out.number(pointer.buttons);
}

void write_members(CanonicalWriter& out, const control::Scroll& scroll) {
  out.member("horizontal");
  out.number(scroll.horizontal);
  out.member("vertical");
  out.number(scroll.vertical);
}

void write_members(CanonicalWriter& out, const control::KeyTransition& key) {
  out.member("code");
  out.string(key.code);
  out.member("down");
  out.boolean(key.down);
  out.member("modifiers");
  out.number(key.modifiers);
}

void write_members(CanonicalWriter& out, const control::PauseInput& pause) {
  out.member("paused");
  out.boolean(pause.paused);
}

void write_members(CanonicalWriter&, const control::ReleaseAll&) {}
void write_members(CanonicalWriter&, const control::Stop&) {}

}  // namespace

std::optional<std::string> serialize_control_message(
    const native_protocol::ControlMessage& message) {
  return std::visit(
      [](const auto& variant) {
        CanonicalWriter out;
        out.member("type");
        out.string(type_name(variant));
        out.member("v");
        out.number(variant.v);
        out.member("seq");
        out.number(variant.seq);
        write_members(out, variant);
        return std::move(out).finish();
      },
      message);
}

}  // namespace ombrelin::input
