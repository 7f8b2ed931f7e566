#include "native_protocol/message_decoder.h"

#include <utility>

namespace ombrelin::native_protocol {
namespace {

using json::Decoded;
using json::DecodeError;
using json::StrictObject;

// The decoders below read members in declaration order and stop at the first
// failure; `TRY` keeps each of them a flat list of members.
#define OMBRELIN_TRY(target, expression)   \
  auto target##_result = (expression);     \
  if (!target##_result) {                  \
    return std::unexpected(DecodeError{}); \
  }                                        \
  auto target = std::move(*target##_result)

template <typename Record>
Decoded<Record> finished(const StrictObject& object, Record record) {
  if (!object.finish()) {
    return std::unexpected(DecodeError{});
  }
  return record;
}

Decoded<std::string> take_tag(StrictObject& object) { return object.take_string("type"); }

Decoded<TicketKeyMetadata> decode_ticket_key(simdjson::dom::element value) {
  OMBRELIN_TRY(object, StrictObject::open(value));
  OMBRELIN_TRY(key_id, object.take_string("keyId"));
  OMBRELIN_TRY(algorithm, object.take_string("algorithm"));
  OMBRELIN_TRY(public_key, object.take_string("publicKey"));
  OMBRELIN_TRY(encoding, object.take_string("encoding"));
  return finished(object, TicketKeyMetadata{std::move(key_id), std::move(algorithm),
                                            std::move(public_key), std::move(encoding)});
}

Decoded<std::vector<PermissionName>> decode_permissions(simdjson::dom::array array) {
  std::vector<PermissionName> names;
  names.reserve(array.size());
  for (const simdjson::dom::element item : array) {
    OMBRELIN_TRY(text, StrictObject::read_string(item));
    const auto name = parse_permission_name(text);
    if (!name) {
      return std::unexpected(DecodeError{});
    }
    names.push_back(*name);
  }
  return names;
}

Decoded<NativeCommand> decode_session_start(StrictObject& object) {
  OMBRELIN_TRY(session_id, object.take_string("sessionId"));
  OMBRELIN_TRY(requester_name, object.take_string("requesterName"));
  OMBRELIN_TRY(permission_array, object.take_array("permissions"));
  OMBRELIN_TRY(permissions, decode_permissions(permission_array));
  OMBRELIN_TRY(lease_expires_at, object.take_integer<std::uint64_t>("leaseExpiresAt"));
  OMBRELIN_TRY(signed_ticket, object.take_string("signedTicket"));
  OMBRELIN_TRY(ticket_key_value, object.take("ticketKey"));
  OMBRELIN_TRY(ticket_key, decode_ticket_key(ticket_key_value));
  return finished<NativeCommand>(
      object, command::SessionStart{std::move(session_id), std::move(requester_name),
                                    std::move(permissions), lease_expires_at,
                                    std::move(signed_ticket), std::move(ticket_key)});
}

Decoded<NativeCommand> decode_control_command(StrictObject& object) {
  OMBRELIN_TRY(session_id, object.take_string("sessionId"));
  OMBRELIN_TRY(control_value, object.take("control"));
  OMBRELIN_TRY(control, decode_control_message(control_value));
  return finished<NativeCommand>(object,
                                 command::Control{std::move(session_id), std::move(control)});
}

}  // namespace

Decoded<ControlMessage> decode_control_message(simdjson::dom::element value) {
  OMBRELIN_TRY(object, StrictObject::open(value));
  OMBRELIN_TRY(type, take_tag(object));
  OMBRELIN_TRY(v, object.take_integer<std::uint32_t>("v"));
  OMBRELIN_TRY(seq, object.take_integer<std::uint32_t>("seq"));
  if (type == "pointer") {
    OMBRELIN_TRY(x, object.take_float("x"));
    OMBRELIN_TRY(y, object.take_float("y"));
    OMBRELIN_TRY(buttons, object.take_integer<std::uint8_t>("buttons"));
    return finished<ControlMessage>(object, control::Pointer{v, seq, x, y, buttons});
  }
  if (type == "scroll") {
    OMBRELIN_TRY(horizontal, object.take_integer<std::int32_t>("horizontal"));
    OMBRELIN_TRY(vertical, object.take_integer<std::int32_t>("vertical"));
    return finished<ControlMessage>(object, control::Scroll{v, seq, horizontal, vertical});
  }
  if (type == "key-transition") {
    OMBRELIN_TRY(code, object.take_string("code"));
    OMBRELIN_TRY(down, object.take_bool("down"));
    OMBRELIN_TRY(modifiers, object.take_integer<std::uint8_t>("modifiers"));
    return finished<ControlMessage>(
        object, control::KeyTransition{v, seq, std::move(code), down, modifiers});
  }
  if (type == "pause-input") {
    OMBRELIN_TRY(paused, object.take_bool("paused"));
    return finished<ControlMessage>(object, control::PauseInput{v, seq, paused});
  }
  if (type == "release-all") {
    return finished<ControlMessage>(object, control::ReleaseAll{v, seq});
  }
  if (type == "stop") {
    return finished<ControlMessage>(object, control::Stop{v, seq});
  }
  return std::unexpected(DecodeError{});
}

Decoded<NativeCommand> decode_native_command(simdjson::dom::element value) {
  OMBRELIN_TRY(object, StrictObject::open(value));
  OMBRELIN_TRY(type, take_tag(object));
  // The three commands without members ignore whatever else the page sends.
  if (type == "status") {
    return command::Status{};
  }
  if (type == "diagnostics") {
    return command::Diagnostics{};
  }
  if (type == "stop") {
    return command::Stop{};
  }
  if (type == "pause") {
    OMBRELIN_TRY(paused, object.take_bool("paused"));
    return finished<NativeCommand>(object, command::Pause{paused});
  }
  if (type == "session-start") {
    return decode_session_start(object);
  }
  if (type == "control") {
    return decode_control_command(object);
  }
  if (type == "session-pause") {
    OMBRELIN_TRY(session_id, object.take_string("sessionId"));
    OMBRELIN_TRY(paused, object.take_bool("paused"));
    return finished<NativeCommand>(object, command::SessionPause{std::move(session_id), paused});
  }
  if (type == "session-stop") {
    OMBRELIN_TRY(session_id, object.take_string("sessionId"));
    return finished<NativeCommand>(object, command::SessionStop{std::move(session_id)});
  }
  return std::unexpected(DecodeError{});
}

Decoded<IncomingMessage> decode_incoming_message(simdjson::dom::element root) {
  OMBRELIN_TRY(object, StrictObject::open(root));
  OMBRELIN_TRY(type, take_tag(object));
  OMBRELIN_TRY(v, object.take_integer<std::uint32_t>("v"));
  OMBRELIN_TRY(request_id, object.take_string("requestId"));
  if (type == "hello") {
    OMBRELIN_TRY(extension_origin, object.take_string("extensionOrigin"));
    OMBRELIN_TRY(trusted_web_origin, object.take_string("trustedWebOrigin"));
    OMBRELIN_TRY(extension_challenge, object.take_string("extensionChallenge"));
    return finished<IncomingMessage>(
        object, HelloMessage{v, std::move(request_id), std::move(extension_origin),
                             std::move(trusted_web_origin), std::move(extension_challenge)});
  }
  if (type == "challenge-ack") {
    OMBRELIN_TRY(agent_challenge, object.take_string("agentChallenge"));
    return finished<IncomingMessage>(
        object, ChallengeAckMessage{v, std::move(request_id), std::move(agent_challenge)});
  }
  if (type == "command") {
    OMBRELIN_TRY(agent_challenge, object.take_string("agentChallenge"));
    OMBRELIN_TRY(command_value, object.take("command"));
    OMBRELIN_TRY(command, decode_native_command(command_value));
    return finished<IncomingMessage>(
        object,
        CommandMessage{v, std::move(request_id), std::move(agent_challenge), std::move(command)});
  }
  return std::unexpected(DecodeError{});
}

#undef OMBRELIN_TRY

Decoded<IncomingMessage> MessageDecoder::decode_padded(std::string_view body) {
  const auto root = parser_.parse_padded(body);
  if (!root) {
    return std::unexpected(DecodeError{});
  }
  return decode_incoming_message(*root);
}

Decoded<IncomingMessage> MessageDecoder::decode(std::string_view body) {
  const auto root = parser_.parse(body);
  if (!root) {
    return std::unexpected(DecodeError{});
  }
  return decode_incoming_message(*root);
}

}  // namespace ombrelin::native_protocol
