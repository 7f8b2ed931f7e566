#pragma once

#include <string_view>

#include "json/strict_json.h"
#include "native_protocol/messages.h"

namespace ombrelin::native_protocol {

// Decodes one frame body into an IncomingMessage, strictly. Owns its parser's
// buffers; one decoder per thread.
class MessageDecoder {
 public:
  // `body` must be readable for json::DocumentParser::kPadding bytes past its end.
  [[nodiscard]] json::Decoded<IncomingMessage> decode_padded(std::string_view body);
  [[nodiscard]] json::Decoded<IncomingMessage> decode(std::string_view body);

 private:
  json::DocumentParser parser_;
};

[[nodiscard]] json::Decoded<IncomingMessage> decode_incoming_message(simdjson::dom::element root);
[[nodiscard]] json::Decoded<NativeCommand> decode_native_command(simdjson::dom::element value);
[[nodiscard]] json::Decoded<ControlMessage> decode_control_message(simdjson::dom::element value);

}  // namespace ombrelin::native_protocol
