#include "input/control_serialization.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace ombrelin::input {
namespace {

namespace control = native_protocol::control;

// Length of the well-formed UTF-8 sequence that starts at `text[at]`, or 0 (no
// overlong forms, no surrogates, nothing above U+10FFFF).
std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) {
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (text.size() - at < length) {
    return 0;
  }
  // Only the first continuation byte has a narrowed range.
  if (byte(at + 1) < low || byte(at + 1) > high) {
    return 0;
  }
  for (std::size_t i = at + 2; i < at + length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) {
      return 0;
    }
  }
  return length;
}

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
    if (!std::isfinite(value)) {
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
    constexpr std::string_view kHex = "0123456789abcdef";
    out_.push_back('"');
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t length = utf8_sequence_length(text, at);
      if (length == 0) {
        failed_ = true;
        return;
      }
      if (length > 1) {
        out_.append(text.substr(at, length));
        at += length;
        continue;
      }
      const char c = text[at++];
      switch (c) {
        case '"':
          out_.append("\\\"");
          break;
        case '\\':
          out_.append("\\\\");
          break;
        case '\b':
          out_.append("\\b");
          break;
        case '\t':
          out_.append("\\t");
          break;
        case '\n':
          out_.append("\\n");
          break;
        case '\f':
          out_.append("\\f");
          break;
        case '\r':
          out_.append("\\r");
          break;
        default:
          if (static_cast<unsigned char>(c) < 0x20) {
            const auto code = static_cast<unsigned char>(c);
            out_.append("\\u00");
            out_.push_back(kHex[code >> 4]);
            out_.push_back(kHex[code & 0x0f]);
          } else {
            out_.push_back(c);
          }
      }
    }
    out_.push_back('"');
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
