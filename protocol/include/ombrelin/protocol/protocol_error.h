#pragma once

// The failure of a ticket or input rule. It names the offending field by a fixed
// label and stays inside the host: the page only ever sees the fixed command
// message that the caller picks.

#include <cstddef>
#include <cstdint>
#include <string>

#include "ombrelin/protocol/permissions.h"

namespace ombrelin::protocol {

enum class ProtocolErrorKind : std::uint8_t {
  kMissing,        // label
  kWrongLength,    // expected, actual, label
  kInvalid,        // label
  kTooLong,        // limit, label
  kPermission,     // permission problem and value
  kExpired,        //
  kNotYetValid,    //
  kBadLifetime,    //
  kMismatch,       // label
  kMalformed,      // label
  kBadSignature,   //
  kKeyIdMismatch,  //
  kTooLarge,       // label, limit
  kDecode,         // decoder text
  kNonCanonical,   //
};

// Every field label a rule can report; to_string gives the text the protocol uses.
enum class FieldLabel : std::uint8_t {
  kNone,
  kSessionId,
  kRequester,
  kTarget,
  kRequesterTargetDevice,
  kRole,
  kApprovalMode,
  kProtocolMajor,
  kNonce,
  kRequesterDtlsFingerprint,
  kTargetDtlsFingerprint,
  kDisplayId,
  kSigningKeyId,
  kEntitlements,
  kEntitlement,
  kEntitlementOrder,
  kDeviceId,
  kIdentityKeyFingerprint,
  kSequence,
  kPermissionEpoch,
  kEvent,
  kPointerCoordinates,
  kRelativePointerDelta,
  kPointerMode,
  kPointerButton,
  kScrollDelta,
  kKeyboardHidUsage,
  kTouchContacts,
  kTouchContact,
  kPenFrame,
  kGamepadFrame,
  kGamepadValue,
  kNewPermissionEpoch,
  kTargetDeviceSignature,
  kReasonCode,
  kClipboardId,
  kClipboardOffer,
  kClipboardSha256,
  kClipboardContent,
  kKeyId,
  kTicketPublicKey,
  kTicketSignature,
  kSignedTicket,
  kTicketPayload,
};

[[nodiscard]] const char* to_string(ProtocolErrorKind kind) noexcept;
[[nodiscard]] const char* to_string(FieldLabel label) noexcept;

// One flat record for all kinds; a kind leaves the members it does not carry at
// their defaults, so two errors compare equal exactly when they say the same.
struct ProtocolError {
  ProtocolErrorKind kind = ProtocolErrorKind::kInvalid;
  FieldLabel label = FieldLabel::kNone;
  std::size_t expected = 0;  // expected length (WrongLength) or limit (TooLong, TooLarge)
  std::size_t actual = 0;    // actual length (WrongLength)
  PermissionProblem problem = PermissionProblem::kUnknown;
  std::int32_t permission_value = 0;
  std::string decoder_text;

  [[nodiscard]] static ProtocolError missing(FieldLabel label);
  [[nodiscard]] static ProtocolError wrong_length(std::size_t expected, std::size_t actual,
                                                  FieldLabel label);
  [[nodiscard]] static ProtocolError invalid(FieldLabel label);
  [[nodiscard]] static ProtocolError too_long(std::size_t limit, FieldLabel label);
  [[nodiscard]] static ProtocolError permission(PermissionListError error);
  [[nodiscard]] static ProtocolError of_kind(ProtocolErrorKind kind);  // kinds without data
  [[nodiscard]] static ProtocolError mismatch(FieldLabel label);
  [[nodiscard]] static ProtocolError malformed(FieldLabel label);
  [[nodiscard]] static ProtocolError too_large(FieldLabel label, std::size_t limit);
  [[nodiscard]] static ProtocolError decode(std::string decoder_text);

  friend bool operator==(const ProtocolError&, const ProtocolError&) = default;
};

// A one-line description for diagnostics and test output, for example
// "WrongLength(16, 15, \"session_id\")".
[[nodiscard]] std::string to_string(const ProtocolError& error);

}  // namespace ombrelin::protocol
