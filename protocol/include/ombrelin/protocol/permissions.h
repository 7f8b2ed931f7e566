#pragma once

// Permissions as the session protocol numbers them. A ticket carries wire values
// 1 to 16; the agent's permission names use positions 0 to 15; a PermissionMask
// has bit n set for position n (wire value n + 1).

#include <cstdint>
#include <expected>
#include <span>

namespace ombrelin::protocol {

using PermissionMask = std::uint32_t;

// Position of a permission in the protocol's order, 0 to 15.
using PermissionIndex = std::uint8_t;

inline constexpr std::size_t kPermissionCount = 16;

// The wire values of a ticket's permissions; 0 is never valid.
enum class TicketPermission : std::int32_t {
  kUnspecified = 0,
  kViewScreen = 1,
  kReceiveAudio = 2,
  kSendPointer = 3,
  kSendKeyboard = 4,
  kSendTouch = 5,
  kSendPen = 6,
  kSendGamepad = 7,
  kReadClipboard = 8,
  kWriteClipboard = 9,
  kSendFile = 10,
  kReceiveFile = 11,
  kCreateVirtualDisplay = 12,
  kSwitchMonitor = 13,
  kRequestReboot = 14,
  kLocalRecording = 15,
  kReverseShare = 16,
};

[[nodiscard]] constexpr PermissionIndex permission_index(TicketPermission permission) noexcept {
  return static_cast<PermissionIndex>(static_cast<std::int32_t>(permission) - 1);
}

[[nodiscard]] constexpr PermissionMask permission_bit(TicketPermission permission) noexcept {
  return PermissionMask{1} << permission_index(permission);
}

enum class PermissionProblem : std::uint8_t {
  kUnknown,      // a value above 16 or negative
  kUnspecified,  // the value 0
  kDuplicate,    // a value listed twice
  kOutOfOrder,   // a value not greater than the one before it
  kNotGranted,   // an event needs a permission outside the session's mask
};

[[nodiscard]] const char* to_string(PermissionProblem problem) noexcept;

struct PermissionListError {
  PermissionProblem problem = PermissionProblem::kUnknown;
  std::int32_t value = 0;

  friend bool operator==(const PermissionListError&, const PermissionListError&) = default;
};

// A permission list must hold distinct known values in strictly ascending order;
// the first offending value is reported. An empty list gives the empty mask.
[[nodiscard]] std::expected<PermissionMask, PermissionListError> build_permission_mask(
    std::span<const std::int32_t> wire_values) noexcept;

}  // namespace ombrelin::protocol
