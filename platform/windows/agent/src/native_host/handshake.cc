#include "native_host/handshake.h"

#include <array>

#include "native_host/caller_origin.h"
#include "ombrelin/protocol/text_codecs.h"
#include "session/command_error.h"

namespace ombrelin::native_host {
namespace {

using native_protocol::ChallengeAckMessage;
using native_protocol::CommandMessage;
using native_protocol::HelloMessage;

constexpr std::uint32_t kProtocolVersion = 1;

std::unexpected<FatalError> fail(FatalKind kind) { return std::unexpected(FatalError::of(kind)); }

}  // namespace

std::expected<HandshakeAction, FatalError> Handshake::step(
    native_protocol::IncomingMessage&& message, const HandshakeContext& context) {
  if (auto* hello = std::get_if<HelloMessage>(&message);
      hello && std::holds_alternative<AwaitingHello>(state_)) {
    return on_hello(*hello, context);
  }
  if (auto* ack = std::get_if<ChallengeAckMessage>(&message);
      ack && std::holds_alternative<AwaitingChallengeAck>(state_)) {
    return on_challenge_ack(*ack);
  }
  if (auto* command = std::get_if<CommandMessage>(&message);
      command && std::holds_alternative<Ready>(state_)) {
    return on_command(std::move(*command), context);
  }
  return fail(FatalKind::kHandshakeSequenceFailed);
}

std::expected<HandshakeAction, FatalError> Handshake::on_hello(const HelloMessage& hello,
                                                               const HandshakeContext& context) {
  // The hello names the extension without the trailing "/" of the command line.
  const bool fresh_and_allowed =
      hello.v == kProtocolVersion && protocol::is_lower_hex_token(hello.request_id) &&
      protocol::is_lower_hex_token(hello.extension_challenge) &&
      hello.trusted_web_origin == context.service_web_origin &&
      hello.extension_origin.size() + 1 == context.caller_origin.size() &&
      context.caller_origin.starts_with(hello.extension_origin) &&
      context.caller_origin.ends_with('/') &&
      is_allowed_caller_origin(context.allowed_extension_ids, context.caller_origin);
  if (!fresh_and_allowed) {
    return fail(FatalKind::kFreshnessHelloFailed);
  }
  std::array<std::uint8_t, 16> random{};
  if (!context.random.fill(random)) {
    return fail(FatalKind::kRandomGenerationFailed);
  }
  std::string agent_challenge = protocol::encode_lower_hex(random);
  WriteReply reply{native_protocol::serialize(native_protocol::HelloAck{
      hello.request_id, hello.extension_challenge, agent_challenge, context.service_web_origin})};
  state_ = AwaitingChallengeAck{hello.request_id, std::move(agent_challenge)};
  return reply;
}

std::expected<HandshakeAction, FatalError> Handshake::on_challenge_ack(
    const ChallengeAckMessage& ack) {
  auto& awaiting = std::get<AwaitingChallengeAck>(state_);
  if (ack.v != kProtocolVersion || ack.request_id != awaiting.hello_request_id ||
      ack.agent_challenge != awaiting.agent_challenge) {
    return fail(FatalKind::kHandshakeSequenceFailed);
  }
  WriteReply reply{
      native_protocol::serialize(native_protocol::Ready{ack.request_id, ack.agent_challenge})};
  state_ = Ready{std::move(awaiting.agent_challenge)};
  return reply;
}

std::expected<HandshakeAction, FatalError> Handshake::on_command(CommandMessage&& command,
                                                                 const HandshakeContext& context) {
  if (command.v != kProtocolVersion ||
      command.agent_challenge != std::get<Ready>(state_).agent_challenge) {
    return fail(FatalKind::kHandshakeSequenceFailed);
  }
  if (!protocol::is_lower_hex_token(command.request_id) ||
      context.request_ids.contains(command.request_id)) {
    // Answered, not executed; the cache stays as it was.
    return WriteReply{native_protocol::serialize(native_protocol::FailureResponse{
        command.request_id, session::to_string(session::CommandError::kRequestIdRejected)})};
  }
  // Remembered before execution, so a failed command's id cannot be retried.
  context.request_ids.remember(command.request_id);
  return ExecuteCommand{std::move(command.request_id), std::move(command.command)};
}

}  // namespace ombrelin::native_host
