#include "ombrelin/protocol/signed_session_ticket.h"

#include <algorithm>
#include <string>

#include "protobuf_wire.h"

namespace ombrelin::protocol {
namespace {

using wire::Reader;
using wire::WireType;

constexpr std::string_view kMessage = "SignedSessionTicket";

ProtocolError fault(std::string_view field, wire::WireFault fault) {
  return ProtocolError::decode(wire::fault_text(kMessage, field, fault));
}

std::size_t field_size(std::size_t length) noexcept {
  return length == 0 ? 0 : 1 + wire::varint_size(length) + length;
}

}  // namespace

std::expected<SignedSessionTicket, ProtocolError> decode_signed_session_ticket(
    std::span<const std::uint8_t> bytes) {
  SignedSessionTicket envelope;
  Reader reader(bytes);
  while (!reader.at_end()) {
    const auto key = reader.key();
    if (!key) {
      return std::unexpected(fault("key", key.error()));
    }
    if (key->number > 2) {
      if (const auto skipped = reader.skip(*key, wire::kDepthBudget); !skipped) {
        return std::unexpected(fault("unknown field", skipped.error()));
      }
      continue;
    }
    const std::string_view name = key->number == 1 ? "ticket" : "signature";
    if (key->type != WireType::kLengthDelimited) {
      return std::unexpected(fault(name, wire::WireFault::kWrongWireType));
    }
    const auto value = reader.length_delimited();
    if (!value) {
      return std::unexpected(fault(name, value.error()));
    }
    Bytes& target = key->number == 1 ? envelope.ticket : envelope.signature;
    target.assign(value->begin(), value->end());
  }
  return envelope;
}

Bytes encode_signed_session_ticket(const SignedSessionTicket& envelope) {
  Bytes out;
  out.reserve(signed_session_ticket_size(envelope));
  if (!envelope.ticket.empty()) {
    wire::append_length_delimited(out, 1, envelope.ticket);
  }
  if (!envelope.signature.empty()) {
    wire::append_length_delimited(out, 2, envelope.signature);
  }
  return out;
}

std::size_t signed_session_ticket_size(const SignedSessionTicket& envelope) noexcept {
  return field_size(envelope.ticket.size()) + field_size(envelope.signature.size());
}

std::expected<SignedSessionTicket, ProtocolError> decode_canonical_signed_session_ticket(
    std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kSignedTicketLimit) {
    return std::unexpected(ProtocolError::too_large(FieldLabel::kSignedTicket, kSignedTicketLimit));
  }
  auto envelope = decode_signed_session_ticket(bytes);
  if (!envelope) {
    return envelope;
  }
  if (!std::ranges::equal(encode_signed_session_ticket(*envelope), bytes)) {
    return std::unexpected(ProtocolError::of_kind(ProtocolErrorKind::kNonCanonical));
  }
  return envelope;
}

}  // namespace ombrelin::protocol
