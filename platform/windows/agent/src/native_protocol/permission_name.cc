#include "native_protocol/permission_name.h"

#include <algorithm>
#include <array>

namespace ombrelin::native_protocol {
namespace {

constexpr std::array<std::string_view, kPermissionNameCount> kSpellings{
    "VIEW_SCREEN",     "RECEIVE_AUDIO",  "SEND_POINTER",    "SEND_KEYBOARD",
    "SEND_TOUCH",      "SEND_PEN",       "SEND_GAMEPAD",    "READ_CLIPBOARD",
    "WRITE_CLIPBOARD", "SEND_FILE",      "RECEIVE_FILE",    "CREATE_VIRTUAL_DISPLAY",
    "SWITCH_MONITOR",  "REQUEST_REBOOT", "LOCAL_RECORDING", "REVERSE_SHARE",
};

}  // namespace

std::string_view to_string(PermissionName name) noexcept {
  return kSpellings[static_cast<std::size_t>(name)];
}

std::optional<PermissionName> parse_permission_name(std::string_view text) noexcept {
  for (std::size_t i = 0; i < kSpellings.size(); ++i) {
    if (kSpellings[i] == text) {
      return static_cast<PermissionName>(i);
    }
  }
  return std::nullopt;
}

std::vector<PermissionName> permission_names(std::span<const protocol::PermissionIndex> positions) {
  std::vector<PermissionName> names;
  names.reserve(positions.size());
  for (const protocol::PermissionIndex position : positions) {
    names.push_back(static_cast<PermissionName>(position));
  }
  return names;
}

std::string join_permission_names(std::span<const PermissionName> names) {
  std::string text;
  for (const PermissionName name : names) {
    if (!text.empty()) {
      text.append(", ");
    }
    text.append(to_string(name));
  }
  return text;
}

bool grants_desktop_input(std::span<const PermissionName> names) noexcept {
  return std::ranges::any_of(names, [](PermissionName name) {
    return name == PermissionName::kSendPointer || name == PermissionName::kSendKeyboard;
  });
}

}  // namespace ombrelin::native_protocol
