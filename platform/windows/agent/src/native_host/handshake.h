#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "native_host/fatal_error.h"
#include "native_host/request_id_cache.h"
#include "native_protocol/envelopes.h"
#include "native_protocol/messages.h"
#include "os/random_source.h"

namespace ombrelin::native_host {

// What the handshake needs from the rest of the run.
struct HandshakeContext {
  const std::vector<std::string>& allowed_extension_ids;
  std::string_view caller_origin;
  std::string_view service_web_origin;
  os::RandomSource& random;
  RequestIdCache& request_ids;
};

// The handshake answers this message with one frame.
struct WriteReply {
  native_protocol::Serialized body;
};

// A fresh command from a ready caller, to be executed and answered.
struct ExecuteCommand {
  std::string request_id;
  native_protocol::NativeCommand command;
};

using HandshakeAction = std::variant<WriteReply, ExecuteCommand>;

// The three-step challenge handshake: hello, challenge-ack, then commands that
// carry the agent's challenge and a request id not used before. It only moves
// forward; any message out of order ends the run. Main loop only.
class Handshake {
 public:
  [[nodiscard]] std::expected<HandshakeAction, FatalError> step(
      native_protocol::IncomingMessage&& message, const HandshakeContext& context);

 private:
  struct AwaitingHello {};
  struct AwaitingChallengeAck {
    std::string hello_request_id;
    std::string agent_challenge;
  };
  struct Ready {
    std::string agent_challenge;
  };

  std::expected<HandshakeAction, FatalError> on_hello(const native_protocol::HelloMessage& hello,
                                                      const HandshakeContext& context);
  std::expected<HandshakeAction, FatalError> on_challenge_ack(
      const native_protocol::ChallengeAckMessage& ack);
  std::expected<HandshakeAction, FatalError> on_command(native_protocol::CommandMessage&& command,
                                                        const HandshakeContext& context);

  std::variant<AwaitingHello, AwaitingChallengeAck, Ready> state_;
};

}  // namespace ombrelin::native_host
