#pragma once

// The documents that arrive from the extension, as declared records. Decoding
// (message_decoder.h) fills them strictly; nothing here checks values.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "native_protocol/permission_name.h"

namespace ombrelin::native_protocol {

// The ticketKey member of a session start.
struct TicketKeyMetadata {
  std::string key_id;
  std::string algorithm;
  std::string public_key;
  std::string encoding;
};

// Control messages: the remote party's input, one message at a time.
namespace control {
struct Pointer {
  std::uint32_t v = 0;
  std::uint32_t seq = 0;
  float x = 0;
  float y = 0;
  std::uint8_t buttons = 0;
};
struct Scroll {
  std::uint32_t v = 0;
  std::uint32_t seq = 0;
  std::int32_t horizontal = 0;
  std::int32_t vertical = 0;
};
struct KeyTransition {
  std::uint32_t v = 0;
  std::uint32_t seq = 0;
  std::string code;
  bool down = false;
  std::uint8_t modifiers = 0;
};
struct PauseInput {
  std::uint32_t v = 0;
  std::uint32_t seq = 0;
  bool paused = false;
};
struct ReleaseAll {
  std::uint32_t v = 0;
  std::uint32_t seq = 0;
};
struct Stop {
  std::uint32_t v = 0;
  std::uint32_t seq = 0;
};
}  // namespace control

using ControlMessage = std::variant<control::Pointer, control::Scroll, control::KeyTransition,
                                    control::PauseInput, control::ReleaseAll, control::Stop>;

// The commands a ready host executes, in their protocol order.
namespace command {
struct Status {};
struct Diagnostics {};
struct Pause {
  bool paused = false;
};
struct Stop {};
struct SessionStart {
  std::string session_id;
  std::string requester_name;
  std::vector<PermissionName> permissions;
  std::uint64_t lease_expires_at = 0;  // milliseconds since the Unix epoch
  std::string signed_ticket;
  TicketKeyMetadata ticket_key;
};
struct Control {
  std::string session_id;
  ControlMessage control;
};
struct SessionPause {
  std::string session_id;
  bool paused = false;
};
struct SessionStop {
  std::string session_id;
};
}  // namespace command

using NativeCommand = std::variant<command::Status, command::Diagnostics, command::Pause,
                                   command::Stop, command::SessionStart, command::Control,
                                   command::SessionPause, command::SessionStop>;

struct HelloMessage {
  std::uint32_t v = 0;
  std::string request_id;
  std::string extension_origin;
  std::string trusted_web_origin;
  std::string extension_challenge;
};

struct ChallengeAckMessage {
  std::uint32_t v = 0;
  std::string request_id;
  std::string agent_challenge;
};

struct CommandMessage {
  std::uint32_t v = 0;
  std::string request_id;
  std::string agent_challenge;
  NativeCommand command;
};

using IncomingMessage = std::variant<HelloMessage, ChallengeAckMessage, CommandMessage>;

}  // namespace ombrelin::native_protocol
