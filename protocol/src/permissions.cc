#include "ombrelin/protocol/permissions.h"

namespace ombrelin::protocol {

const char* to_string(PermissionProblem problem) noexcept {
  switch (problem) {
    case PermissionProblem::kUnknown:
      return "Unknown";
    case PermissionProblem::kUnspecified:
      return "Unspecified";
    case PermissionProblem::kDuplicate:
      return "Duplicate";
    case PermissionProblem::kOutOfOrder:
      return "OutOfOrder";
    case PermissionProblem::kNotGranted:
      return "NotGranted";
  }
  return "?";
}

std::expected<PermissionMask, PermissionListError> build_permission_mask(
    std::span<const std::int32_t> wire_values) noexcept {
  constexpr std::int32_t kHighest = static_cast<std::int32_t>(TicketPermission::kReverseShare);
  PermissionMask mask = 0;
  std::int32_t previous = 0;
  for (const std::int32_t value : wire_values) {
    if (value < 0 || value > kHighest) {
      return std::unexpected(PermissionListError{PermissionProblem::kUnknown, value});
    }
    if (value == 0) {
      return std::unexpected(PermissionListError{PermissionProblem::kUnspecified, value});
    }
    // The mask doubles as the set of values already seen.
    const PermissionMask bit = PermissionMask{1} << (value - 1);
    if ((mask & bit) != 0) {
      return std::unexpected(PermissionListError{PermissionProblem::kDuplicate, value});
    }
    mask |= bit;
    if (value <= previous) {
      return std::unexpected(PermissionListError{PermissionProblem::kOutOfOrder, value});
    }
    previous = value;
  }
  return mask;
}

}  // namespace ombrelin::protocol
