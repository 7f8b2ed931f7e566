#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ombrelin/protocol/permissions.h"

namespace ombrelin::native_protocol {

// What a session may do. The position is the bit number in a permission mask; a
// signed ticket carries position + 1.
enum class PermissionName : std::uint8_t {
  kViewScreen = 0,
  kReceiveAudio = 1,
  kSendPointer = 2,
  kSendKeyboard = 3,
  kSendTouch = 4,
  kSendPen = 5,
  kSendGamepad = 6,
  kReadClipboard = 7,
  kWriteClipboard = 8,
  kSendFile = 9,
  kReceiveFile = 10,
  kCreateVirtualDisplay = 11,
  kSwitchMonitor = 12,
  kRequestReboot = 13,
  kLocalRecording = 14,
  kReverseShare = 15,
};

inline constexpr std::size_t kPermissionNameCount = 16;

// The protocol's spelling, for example "SEND_POINTER".
[[nodiscard]] std::string_view to_string(PermissionName name) noexcept;

// Exactly one of the sixteen spellings; anything else (lower case included) fails.
[[nodiscard]] std::optional<PermissionName> parse_permission_name(std::string_view text) noexcept;

// The names of ticket permission positions, in the same order.
[[nodiscard]] std::vector<PermissionName> permission_names(
    std::span<const protocol::PermissionIndex> positions);

// The names joined by ", ", as the consent box and the indicator show them.
[[nodiscard]] std::string join_permission_names(std::span<const PermissionName> names);

// Whether the names let a session send pointer or keyboard input to the desktop.
[[nodiscard]] bool grants_desktop_input(std::span<const PermissionName> names) noexcept;

}  // namespace ombrelin::native_protocol
