#pragma once

#include <cstdint>
#include <expected>
#include <string_view>
#include <vector>

#include "input/control_sequence_state.h"
#include "native_protocol/messages.h"
#include "ombrelin/protocol/input_envelope.h"
#include "ombrelin/protocol/text_codecs.h"

namespace ombrelin::input {

enum class ControlConversionError : std::uint8_t {
  kVersion,           // "v" is not 1
  kStaleSequence,     // "seq" not above the last accepted one
  kOutOfRange,        // a coordinate, button set, wheel step or modifier set out of range
  kUnknownKey,        // "code" is not in the key table
  kCounterExhausted,  // the event sequence numbers would wrap
};

inline constexpr std::uint32_t kControlVersion = 1;
inline constexpr std::uint64_t kControlPermissionEpoch = 1;
inline constexpr std::string_view kPeerPauseReason = "peer_requested";
inline constexpr std::string_view kPeerStopReason = "peer_stop";

// Turns one control message into the input events it stands for, in order, each
// wrapped for the session with the next event sequence number. A pointer message
// yields the move and then one button event per changed button. On success the
// state takes the message's "seq", the new button set and the new counter; a
// refused message leaves the state exactly as it was.
[[nodiscard]] std::expected<std::vector<protocol::InputEnvelope>, ControlConversionError>
convert_control_message(ControlSequenceState& state, const native_protocol::ControlMessage& message,
                        const protocol::Uuid& session_id, std::string_view display_id);

}  // namespace ombrelin::input
