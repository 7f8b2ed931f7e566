#include "os/sim/input_action.h"

#include <array>
#include <charconv>
#include <optional>
#include <system_error>
#include <utility>

namespace ombrelin::os::sim {
namespace {

constexpr std::array<std::pair<std::string_view, LowLevelButton>, 5> kButtonNames{{
    {"left", LowLevelButton::kLeft},
    {"right", LowLevelButton::kRight},
    {"middle", LowLevelButton::kMiddle},
    {"x1", LowLevelButton::kX1},
    {"x2", LowLevelButton::kX2},
}};

std::optional<std::int32_t> parse_number(std::string_view text) {
  int base = 10;
  if (text.starts_with("0x")) {
    text.remove_prefix(2);
    base = 16;
  }
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return value;
}

std::vector<std::string_view> split_words(std::string_view line) {
  std::vector<std::string_view> words;
  while (!line.empty()) {
    const auto space = line.find(' ');
    if (space != 0) {
      words.push_back(line.substr(0, space));
    }
    if (space == std::string_view::npos) {
      break;
    }
    line.remove_prefix(space + 1);
  }
  return words;
}

}  // namespace

std::string_view event_name(LowLevelKind kind) {
  switch (kind) {
    case LowLevelKind::kKeyPress:
      return "key-down";
    case LowLevelKind::kKeyRelease:
      return "key-up";
    case LowLevelKind::kButtonPress:
      return "button-down";
    case LowLevelKind::kButtonRelease:
      return "button-up";
    case LowLevelKind::kMove:
      return "move";
    case LowLevelKind::kWheel:
      return "wheel";
  }
  return "";
}

std::string_view button_name(LowLevelButton button) {
  for (const auto& [name, value] : kButtonNames) {
    if (value == button) {
      return name;
    }
  }
  return "none";
}

std::vector<LowLevelInput> parse_input_action(std::string_view line, CursorPoint cursor,
                                              LowLevelButton primary) {
  const std::vector<std::string_view> words = split_words(line);
  if (words.size() < 3 || (words[0] != "device" && words[0] != "injected")) {
    return {};
  }
  const bool injected = words[0] == "injected";
  const std::string_view what = words[1];
  if ((what == "move" || what == "click") && words.size() == 4) {
    const auto x = parse_number(words[2]);
    const auto y = parse_number(words[3]);
    if (!x || !y) {
      return {};
    }
    const CursorPoint point{*x, *y};
    std::vector<LowLevelInput> inputs{
        mouse_input(LowLevelKind::kMove, LowLevelButton::kNone, point, injected)};
    if (what == "click") {
      for (const LowLevelKind kind : {LowLevelKind::kButtonPress, LowLevelKind::kButtonRelease}) {
        inputs.push_back(mouse_input(kind, primary, point, injected));
      }
    }
    return inputs;
  }
  if (words.size() != 4 || (words[3] != "down" && words[3] != "up")) {
    return {};
  }
  const bool down = words[3] == "down";
  if (what == "key") {
    const auto vk = parse_number(words[2]);
    if (!vk || *vk <= 0 || *vk > 0xFF) {
      return {};
    }
    return {key_input(down ? LowLevelKind::kKeyPress : LowLevelKind::kKeyRelease,
                      static_cast<std::uint32_t>(*vk), injected)};
  }
  if (what == "button") {
    for (const auto& [name, button] : kButtonNames) {
      if (name == words[2]) {
        return {mouse_input(down ? LowLevelKind::kButtonPress : LowLevelKind::kButtonRelease,
                            button, cursor, injected)};
      }
    }
  }
  return {};
}

}  // namespace ombrelin::os::sim
