#pragma once

// The value rules every input event passes before it can reach the desktop.

#include <cstdint>
#include <expected>

#include "ombrelin/protocol/input_envelope.h"
#include "ombrelin/protocol/permissions.h"
#include "ombrelin/protocol/protocol_error.h"
#include "ombrelin/protocol/text_codecs.h"

namespace ombrelin::protocol {

// Session, sequence, epoch, the permission the kind needs, then the kind's own
// ranges; the first failure is returned.
[[nodiscard]] std::expected<void, ProtocolError> validate_input_envelope(
    const InputEnvelope& envelope, const Uuid& session_id, std::uint64_t permission_epoch,
    PermissionMask granted);

}  // namespace ombrelin::protocol
