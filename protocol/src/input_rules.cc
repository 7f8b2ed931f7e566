#include "ombrelin/protocol/input_rules.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>
#include <string_view>

#include "byte_rules.h"

namespace ombrelin::protocol {
namespace {

using namespace input_event;
using Result = std::expected<void, ProtocolError>;

constexpr std::size_t kDisplayIdLimit = 128;
constexpr std::size_t kTouchContactLimit = 16;
constexpr std::uint32_t kGamepadIndexLimit = 3;
constexpr std::size_t kGamepadAxisLimit = 16;
constexpr std::size_t kGamepadButtonLimit = 32;
constexpr std::int32_t kScrollLimit = 12000;
constexpr std::size_t kReasonCodeLimit = 64;
constexpr std::uint64_t kClipboardLimit = 1048576;
constexpr std::size_t kSignatureLength = 64;
constexpr std::size_t kClipboardIdLength = 16;
constexpr std::size_t kSha256Length = 32;

std::unexpected<ProtocolError> invalid(FieldLabel label) {
  return std::unexpected(ProtocolError::invalid(label));
}

// A closed range refuses NaN by itself; -0.0 compares equal to 0.
constexpr bool in_range(float value, float low, float high) noexcept {
  return value >= low && value <= high;
}

constexpr bool is_unit(float value) noexcept { return in_range(value, 0.0f, 1.0f); }

// The permission a kind needs; clipboard kinds accept either clipboard permission.
std::optional<TicketPermission> required_permission(const InputEvent& event) noexcept {
  switch (event.index()) {
    case 0:
    case 1:
    case 2:
      return TicketPermission::kSendPointer;
    case 3:
      return TicketPermission::kSendKeyboard;
    case 4:
      return TicketPermission::kSendTouch;
    case 5:
      return TicketPermission::kSendPen;
    case 6:
      return TicketPermission::kSendGamepad;
    case 7:
      return TicketPermission::kSwitchMonitor;
    case 11:
    case 12:
      return TicketPermission::kReadClipboard;
    default:
      return std::nullopt;
  }
}

bool is_granted(const InputEvent& event, TicketPermission needed, PermissionMask granted) {
  PermissionMask accepted = permission_bit(needed);
  if (std::holds_alternative<ClipboardOffer>(event) ||
      std::holds_alternative<ClipboardContent>(event)) {
    accepted |= permission_bit(TicketPermission::kWriteClipboard);
  }
  return (granted & accepted) != 0;
}

struct KindRules {
  std::uint64_t epoch;

  Result operator()(const PointerMove& e) const {
    if (!std::isfinite(e.x) || !std::isfinite(e.y)) {
      return invalid(FieldLabel::kPointerCoordinates);
    }
    if (e.mode == kAbsolutePointer) {
      if (!is_unit(e.x) || !is_unit(e.y)) {
        return invalid(FieldLabel::kPointerCoordinates);
      }
    } else if (e.mode == kRelativePointer) {
      if (!in_range(e.x, -32768.0f, 32767.0f) || !in_range(e.y, -32768.0f, 32767.0f)) {
        return invalid(FieldLabel::kRelativePointerDelta);
      }
    } else {
      return invalid(FieldLabel::kPointerMode);
    }
    if (e.display_id.size() > kDisplayIdLimit) {
      return std::unexpected(ProtocolError::too_long(kDisplayIdLimit, FieldLabel::kDisplayId));
    }
    return {};
  }

  Result operator()(const PointerButton& e) const {
    if (e.button < 1 || e.button > 32) {
      return invalid(FieldLabel::kPointerButton);
    }
    return {};
  }

  Result operator()(const ScrollDelta& e) const {
    for (const std::int32_t delta : {e.vertical, e.horizontal}) {
      if (delta < -kScrollLimit || delta > kScrollLimit) {
        return invalid(FieldLabel::kScrollDelta);
      }
    }
    return {};
  }

  Result operator()(const KeyboardKey& e) const {
    if (e.usage < 1 || e.usage > 0xffff || e.modifiers > 0xff) {
      return invalid(FieldLabel::kKeyboardHidUsage);
    }
    return {};
  }

  Result operator()(const Touch& e) const {
    if (e.contacts.size() > kTouchContactLimit) {
      return std::unexpected(
          ProtocolError::too_long(kTouchContactLimit, FieldLabel::kTouchContacts));
    }
    std::set<std::uint32_t> seen;
    for (const TouchContact& c : e.contacts) {
      if (!seen.insert(c.contact_id).second || !is_unit(c.x) || !is_unit(c.y) ||
          !is_unit(c.pressure)) {
        return invalid(FieldLabel::kTouchContact);
      }
    }
    return {};
  }

  Result operator()(const Pen& e) const {
    if (!is_unit(e.x) || !is_unit(e.y) || !is_unit(e.pressure) ||
        !in_range(e.tilt_x, -90.0f, 90.0f) || !in_range(e.tilt_y, -90.0f, 90.0f)) {
      return invalid(FieldLabel::kPenFrame);
    }
    return {};
  }

  Result operator()(const Gamepad& e) const {
    if (e.pad_index > kGamepadIndexLimit || e.axes.size() > kGamepadAxisLimit ||
        e.buttons.size() > kGamepadButtonLimit) {
      return invalid(FieldLabel::kGamepadFrame);
    }
    const bool axes_ok =
        std::ranges::all_of(e.axes, [](float a) { return in_range(a, -1.0f, 1.0f); });
    if (!axes_ok || !std::ranges::all_of(e.buttons, is_unit)) {
      return invalid(FieldLabel::kGamepadValue);
    }
    return {};
  }

  Result operator()(const SwitchDisplay& e) const {
    if (e.display_id.empty()) {
      return invalid(FieldLabel::kDisplayId);
    }
    if (e.display_id.size() > kDisplayIdLimit) {
      return std::unexpected(ProtocolError::too_long(kDisplayIdLimit, FieldLabel::kDisplayId));
    }
    return {};
  }

  Result operator()(const PermissionUpdate& e) const {
    // At the highest epoch there is no next one: refusing keeps an update from
    // reusing the current epoch.
    if (epoch == UINT64_MAX || e.new_permission_epoch != epoch + 1) {
      return invalid(FieldLabel::kNewPermissionEpoch);
    }
    if (const auto mask = build_permission_mask(e.permissions); !mask) {
      return std::unexpected(ProtocolError::permission(mask.error()));
    }
    if (e.target_device_signature.size() != kSignatureLength) {
      return std::unexpected(ProtocolError::wrong_length(
          kSignatureLength, e.target_device_signature.size(), FieldLabel::kTargetDeviceSignature));
    }
    return {};
  }

  static Result check_reason(std::string_view reason) {
    if (!reason.empty() && !is_printable_ascii(reason, kReasonCodeLimit)) {
      return invalid(FieldLabel::kReasonCode);
    }
    return {};
  }

  Result operator()(const PeerPause& e) const { return check_reason(e.reason_code); }

  Result operator()(const PeerStop& e) const { return check_reason(e.reason_code); }

  Result operator()(const ClipboardOffer& e) const {
    if (e.clipboard_id.size() != kClipboardIdLength) {
      return std::unexpected(ProtocolError::wrong_length(kClipboardIdLength, e.clipboard_id.size(),
                                                         FieldLabel::kClipboardId));
    }
    if (is_all_zero(e.clipboard_id)) {
      return invalid(FieldLabel::kClipboardId);
    }
    if ((e.mime_type != "image/png" && e.mime_type != "text/plain;charset=utf-8") ||
        e.size > kClipboardLimit) {
      return invalid(FieldLabel::kClipboardOffer);
    }
    if (e.sha256.size() != kSha256Length) {
      return std::unexpected(ProtocolError::wrong_length(kSha256Length, e.sha256.size(),
                                                         FieldLabel::kClipboardSha256));
    }
    return {};
  }

  Result operator()(const ClipboardContent& e) const {
    if (e.clipboard_id.size() != kClipboardIdLength) {
      return std::unexpected(ProtocolError::wrong_length(kClipboardIdLength, e.clipboard_id.size(),
                                                         FieldLabel::kClipboardId));
    }
    if (e.content.size() > kClipboardLimit) {
      return std::unexpected(
          ProtocolError::too_long(kClipboardLimit, FieldLabel::kClipboardContent));
    }
    return {};
  }
};

}  // namespace

std::expected<void, ProtocolError> validate_input_envelope(const InputEnvelope& envelope,
                                                           const Uuid& session_id,
                                                           std::uint64_t permission_epoch,
                                                           PermissionMask granted) {
  if (!std::ranges::equal(envelope.session_id, session_id)) {
    return std::unexpected(ProtocolError::mismatch(FieldLabel::kSessionId));
  }
  if (envelope.sequence == 0) {
    return invalid(FieldLabel::kSequence);
  }
  if (envelope.permission_epoch != permission_epoch) {
    return std::unexpected(ProtocolError::mismatch(FieldLabel::kPermissionEpoch));
  }
  if (!envelope.event) {
    return std::unexpected(ProtocolError::missing(FieldLabel::kEvent));
  }
  const InputEvent& event = *envelope.event;
  if (const auto needed = required_permission(event);
      needed && !is_granted(event, *needed, granted)) {
    return std::unexpected(ProtocolError::permission(
        {PermissionProblem::kNotGranted, static_cast<std::int32_t>(*needed)}));
  }
  return std::visit(KindRules{permission_epoch}, event);
}

}  // namespace ombrelin::protocol
