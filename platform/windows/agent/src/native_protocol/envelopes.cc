#include "native_protocol/envelopes.h"

#include "json/json_writer.h"

namespace ombrelin::native_protocol {
namespace {

constexpr std::uint64_t kEnvelopeVersion = 1;

// Writes v, type and requestId, the members every envelope opens with.
void open_envelope(json::JsonWriter& writer, std::string_view type, std::string_view request_id) {
  writer.begin_object();
  writer.key("v");
  writer.unsigned_integer(kEnvelopeVersion);
  writer.key("type");
  writer.string(type);
  writer.key("requestId");
  writer.string(request_id);
}

Serialized close_envelope(json::JsonWriter& writer) {
  writer.end_object();
  if (writer.failed()) {
    return std::unexpected(SerializeError{});
  }
  return std::move(writer).take();
}

void write_optional_string(json::JsonWriter& writer, const std::optional<std::string>& text) {
  if (text) {
    writer.string(*text);
  } else {
    writer.null();
  }
}

void write_status(json::JsonWriter& writer, const StatusPayload& status) {
  writer.begin_object();
  writer.key("connected");
  writer.boolean(status.connected);
  writer.key("paused");
  writer.boolean(status.paused);
  writer.key("agentVersion");
  writer.string(kAgentVersion);
  writer.key("deviceName");
  writer.string(status.device_name);
  writer.key("activeSessionId");
  write_optional_string(writer, status.active_session_id);
  writer.key("activeSite");
  write_optional_string(writer, status.active_site);
  writer.key("sessionMode");
  write_optional_string(writer, status.session_mode);
  writer.key("grantedPermissions");
  writer.begin_array();
  for (const PermissionName name : status.granted_permissions) {
    writer.string(to_string(name));
  }
  writer.end_array();
  writer.key("devices");
  writer.begin_array();
  for (const DeviceEntry& device : status.devices) {
    writer.begin_object();
    writer.key("id");
    writer.string(device.id);
    writer.key("name");
    writer.string(device.name);
    writer.end_object();
  }
  writer.end_array();
  writer.end_object();
}

}  // namespace

Serialized serialize(const HelloAck& envelope) {
  json::JsonWriter writer;
  open_envelope(writer, "hello-ack", envelope.request_id);
  writer.key("extensionChallenge");
  writer.string(envelope.extension_challenge);
  writer.key("agentChallenge");
  writer.string(envelope.agent_challenge);
  writer.key("origin");
  writer.string(envelope.origin);
  return close_envelope(writer);
}

Serialized serialize(const Ready& envelope) {
  json::JsonWriter writer;
  open_envelope(writer, "ready", envelope.request_id);
  writer.key("agentChallenge");
  writer.string(envelope.agent_challenge);
  return close_envelope(writer);
}

Serialized serialize(const SuccessResponse& envelope) {
  json::JsonWriter writer;
  open_envelope(writer, "response", envelope.request_id);
  writer.key("ok");
  writer.boolean(true);
  writer.key("status");
  write_status(writer, envelope.status);
  return close_envelope(writer);
}

Serialized serialize(const FailureResponse& envelope) {
  json::JsonWriter writer;
  open_envelope(writer, "response", envelope.request_id);
  writer.key("ok");
  writer.boolean(false);
  writer.key("error");
  writer.string(envelope.error);
  return close_envelope(writer);
}

}  // namespace ombrelin::native_protocol
