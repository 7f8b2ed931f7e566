#include "ombrelin/protocol/protocol_error.h"

#include <utility>

namespace ombrelin::protocol {

const char* to_string(ProtocolErrorKind kind) noexcept {
  switch (kind) {
    case ProtocolErrorKind::kMissing:
      return "Missing";
    case ProtocolErrorKind::kWrongLength:
      return "WrongLength";
    case ProtocolErrorKind::kInvalid:
      return "Invalid";
    case ProtocolErrorKind::kTooLong:
      return "TooLong";
    case ProtocolErrorKind::kPermission:
      return "Permission";
    case ProtocolErrorKind::kExpired:
      return "Expired";
    case ProtocolErrorKind::kNotYetValid:
      return "NotYetValid";
    case ProtocolErrorKind::kBadLifetime:
      return "BadLifetime";
    case ProtocolErrorKind::kMismatch:
      return "Mismatch";
    case ProtocolErrorKind::kMalformed:
      return "Malformed";
    case ProtocolErrorKind::kBadSignature:
      return "BadSignature";
    case ProtocolErrorKind::kKeyIdMismatch:
      return "KeyIdMismatch";
    case ProtocolErrorKind::kTooLarge:
      return "TooLarge";
    case ProtocolErrorKind::kDecode:
      return "Decode";
    case ProtocolErrorKind::kNonCanonical:
      return "NonCanonical";
  }
  return "?";
}

const char* to_string(FieldLabel label) noexcept {
  switch (label) {
    case FieldLabel::kNone:
      return "";
    case FieldLabel::kSessionId:
      return "session_id";
    case FieldLabel::kRequester:
      return "requester";
    case FieldLabel::kTarget:
      return "target";
    case FieldLabel::kRequesterTargetDevice:
      return "requester/target device";
    case FieldLabel::kRole:
      return "role";
    case FieldLabel::kApprovalMode:
      return "approval_mode";
    case FieldLabel::kProtocolMajor:
      return "protocol_major";
    case FieldLabel::kNonce:
      return "nonce";
    case FieldLabel::kRequesterDtlsFingerprint:
      return "requester_dtls_fingerprint_sha256";
    case FieldLabel::kTargetDtlsFingerprint:
      return "target_dtls_fingerprint_sha256";
    case FieldLabel::kDisplayId:
      return "display_id";
    case FieldLabel::kSigningKeyId:
      return "signing_key_id";
    case FieldLabel::kEntitlements:
      return "entitlements";
    case FieldLabel::kEntitlement:
      return "entitlement";
    case FieldLabel::kEntitlementOrder:
      return "entitlement order";
    case FieldLabel::kDeviceId:
      return "device_id";
    case FieldLabel::kIdentityKeyFingerprint:
      return "identity_key_fingerprint_sha256";
    case FieldLabel::kSequence:
      return "sequence";
    case FieldLabel::kPermissionEpoch:
      return "permission_epoch";
    case FieldLabel::kEvent:
      return "event";
    case FieldLabel::kPointerCoordinates:
      return "pointer coordinates";
    case FieldLabel::kRelativePointerDelta:
      return "relative pointer delta";
    case FieldLabel::kPointerMode:
      return "pointer mode";
    case FieldLabel::kPointerButton:
      return "pointer button";
    case FieldLabel::kScrollDelta:
      return "scroll delta";
    case FieldLabel::kKeyboardHidUsage:
      return "keyboard HID usage";
    case FieldLabel::kTouchContacts:
      return "touch contacts";
    case FieldLabel::kTouchContact:
      return "touch contact";
    case FieldLabel::kPenFrame:
      return "pen frame";
    case FieldLabel::kGamepadFrame:
      return "gamepad frame";
    case FieldLabel::kGamepadValue:
      return "gamepad value";
    case FieldLabel::kNewPermissionEpoch:
      return "new_permission_epoch";
    case FieldLabel::kTargetDeviceSignature:
      return "target_device_signature";
    case FieldLabel::kReasonCode:
      return "reason_code";
    case FieldLabel::kClipboardId:
      return "clipboard_id";
    case FieldLabel::kClipboardOffer:
      return "clipboard offer";
    case FieldLabel::kClipboardSha256:
      return "clipboard sha256";
    case FieldLabel::kClipboardContent:
      return "clipboard content";
    case FieldLabel::kKeyId:
      return "key ID";
    case FieldLabel::kTicketPublicKey:
      return "ticket public key";
    case FieldLabel::kTicketSignature:
      return "ticket signature";
    case FieldLabel::kSignedTicket:
      return "signed ticket";
    case FieldLabel::kTicketPayload:
      return "ticket payload";
  }
  return "?";
}

namespace {

ProtocolError make(ProtocolErrorKind kind, FieldLabel label = FieldLabel::kNone,
                   std::size_t expected = 0, std::size_t actual = 0) {
  ProtocolError error;
  error.kind = kind;
  error.label = label;
  error.expected = expected;
  error.actual = actual;
  return error;
}

}  // namespace

ProtocolError ProtocolError::missing(FieldLabel label) {
  return make(ProtocolErrorKind::kMissing, label);
}

ProtocolError ProtocolError::wrong_length(std::size_t expected, std::size_t actual,
                                          FieldLabel label) {
  return make(ProtocolErrorKind::kWrongLength, label, expected, actual);
}

ProtocolError ProtocolError::invalid(FieldLabel label) {
  return make(ProtocolErrorKind::kInvalid, label);
}

ProtocolError ProtocolError::too_long(std::size_t limit, FieldLabel label) {
  return make(ProtocolErrorKind::kTooLong, label, limit);
}

ProtocolError ProtocolError::permission(PermissionListError error) {
  ProtocolError result = make(ProtocolErrorKind::kPermission);
  result.problem = error.problem;
  result.permission_value = error.value;
  return result;
}

ProtocolError ProtocolError::of_kind(ProtocolErrorKind kind) { return make(kind); }

ProtocolError ProtocolError::mismatch(FieldLabel label) {
  return make(ProtocolErrorKind::kMismatch, label);
}

ProtocolError ProtocolError::malformed(FieldLabel label) {
  return make(ProtocolErrorKind::kMalformed, label);
}

ProtocolError ProtocolError::too_large(FieldLabel label, std::size_t limit) {
  return make(ProtocolErrorKind::kTooLarge, label, limit);
}

ProtocolError ProtocolError::decode(std::string decoder_text) {
  ProtocolError result = make(ProtocolErrorKind::kDecode);
  result.decoder_text = std::move(decoder_text);
  return result;
}

std::string to_string(const ProtocolError& error) {
  std::string text = to_string(error.kind);
  const std::string label = std::string("\"") + to_string(error.label) + "\"";
  switch (error.kind) {
    case ProtocolErrorKind::kWrongLength:
      text += "(" + std::to_string(error.expected) + ", " + std::to_string(error.actual) + ", " +
              label + ")";
      break;
    case ProtocolErrorKind::kTooLong:
      text += "(" + std::to_string(error.expected) + ", " + label + ")";
      break;
    case ProtocolErrorKind::kTooLarge:
      text += "(" + label + ", " + std::to_string(error.expected) + ")";
      break;
    case ProtocolErrorKind::kPermission:
      text += std::string("(") + to_string(error.problem) + ", " +
              std::to_string(error.permission_value) + ")";
      break;
    case ProtocolErrorKind::kDecode:
      text += "(" + error.decoder_text + ")";
      break;
    case ProtocolErrorKind::kMissing:
    case ProtocolErrorKind::kInvalid:
    case ProtocolErrorKind::kMismatch:
    case ProtocolErrorKind::kMalformed:
      text += "(" + label + ")";
      break;
    case ProtocolErrorKind::kExpired:
    case ProtocolErrorKind::kNotYetValid:
    case ProtocolErrorKind::kBadLifetime:
    case ProtocolErrorKind::kBadSignature:
    case ProtocolErrorKind::kKeyIdMismatch:
    case ProtocolErrorKind::kNonCanonical:
      break;
  }
  return text;
}

}  // namespace ombrelin::protocol
