#include "ombrelin/protocol/session_ticket.h"
#include "protobuf_wire.h"

namespace ombrelin::protocol {
namespace {

using wire::append_key;
using wire::append_length_delimited;
using wire::append_varint;
using wire::WireType;

std::span<const std::uint8_t> as_bytes(const std::string& text) noexcept {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// int32 values travel sign-extended to 64 bits, so a negative one takes 10 bytes.
constexpr std::uint64_t int32_wire(std::int32_t value) noexcept {
  return static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
}

void append_bytes_if_set(Bytes& out, std::uint32_t number, std::span<const std::uint8_t> bytes) {
  if (!bytes.empty()) {
    append_length_delimited(out, number, bytes);
  }
}

void append_varint_if_set(Bytes& out, std::uint32_t number, std::uint64_t value) {
  if (value != 0) {
    append_key(out, number, WireType::kVarint);
    append_varint(out, value);
  }
}

// A present binding is written even when empty.
void append_binding(Bytes& out, std::uint32_t number, const std::optional<DeviceBinding>& binding) {
  if (!binding) {
    return;
  }
  const std::size_t device_size = binding->device_id.size();
  const std::size_t print_size = binding->identity_key_fingerprint_sha256.size();
  std::size_t body = 0;
  if (device_size != 0) {
    body += 1 + wire::varint_size(device_size) + device_size;
  }
  if (print_size != 0) {
    body += 1 + wire::varint_size(print_size) + print_size;
  }
  append_key(out, number, WireType::kLengthDelimited);
  append_varint(out, body);
  append_bytes_if_set(out, 1, binding->device_id);
  append_bytes_if_set(out, 2, binding->identity_key_fingerprint_sha256);
}

void append_permissions(Bytes& out, const std::vector<std::int32_t>& permissions) {
  if (permissions.empty()) {
    return;
  }
  std::size_t body = 0;
  for (const std::int32_t value : permissions) {
    body += wire::varint_size(int32_wire(value));
  }
  append_key(out, 5, WireType::kLengthDelimited);
  append_varint(out, body);
  for (const std::int32_t value : permissions) {
    append_varint(out, int32_wire(value));
  }
}

}  // namespace

Bytes encode_session_ticket(const SessionTicket& ticket) {
  Bytes out;
  out.reserve(512);
  append_bytes_if_set(out, 1, ticket.session_id);
  append_binding(out, 2, ticket.requester);
  append_binding(out, 3, ticket.target);
  append_varint_if_set(out, 4, int32_wire(ticket.role));
  append_permissions(out, ticket.permissions);
  for (const std::string& entitlement : ticket.entitlements) {
    append_length_delimited(out, 6, as_bytes(entitlement));
  }
  append_bytes_if_set(out, 7, as_bytes(ticket.display_id));
  append_varint_if_set(out, 8, int32_wire(ticket.approval_mode));
  append_varint_if_set(out, 9, ticket.issued_at_unix_s);
  append_varint_if_set(out, 10, ticket.expires_at_unix_s);
  append_bytes_if_set(out, 11, ticket.nonce);
  append_varint_if_set(out, 12, ticket.protocol_major);
  append_bytes_if_set(out, 13, as_bytes(ticket.signing_key_id));
  append_bytes_if_set(out, 14, ticket.requester_dtls_fingerprint_sha256);
  append_bytes_if_set(out, 15, ticket.target_dtls_fingerprint_sha256);
  return out;
}

}  // namespace ombrelin::protocol
