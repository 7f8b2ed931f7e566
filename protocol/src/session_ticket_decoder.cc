#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "ombrelin/protocol/session_ticket.h"
#include "ombrelin/protocol/utf8_validation.h"
#include "protobuf_wire.h"

namespace ombrelin::protocol {
namespace {

using wire::FieldKey;
using wire::Reader;
using wire::WireFault;
using wire::WireType;

// Decode failures stay as text until the top, where they become kDecode.
using Status = std::expected<void, std::string>;

constexpr std::string_view kTicketMessage = "SessionTicket";
constexpr std::string_view kBindingMessage = "DeviceBinding";

constexpr std::array<std::string_view, 16> kTicketFields = {
    "",
    "session_id",
    "requester",
    "target",
    "role",
    "permissions",
    "entitlements",
    "display_id",
    "approval_mode",
    "issued_at_unix_s",
    "expires_at_unix_s",
    "nonce",
    "protocol_major",
    "signing_key_id",
    "requester_dtls_fingerprint_sha256",
    "target_dtls_fingerprint_sha256",
};

constexpr std::array<std::string_view, 3> kBindingFields = {"", "device_id",
                                                            "identity_key_fingerprint_sha256"};

// Reads fields of one message; knows its name so that failures say where they are.
class FieldReader {
 public:
  FieldReader(Reader& reader, std::string_view message, std::string_view field) noexcept
      : reader_(reader), message_(message), field_(field) {}

  [[nodiscard]] std::unexpected<std::string> fail(WireFault fault) const {
    return std::unexpected(wire::fault_text(message_, field_, fault));
  }

  [[nodiscard]] std::expected<std::span<const std::uint8_t>, std::string> span(FieldKey key) {
    if (key.type != WireType::kLengthDelimited) {
      return fail(WireFault::kWrongWireType);
    }
    const auto bytes = reader_.length_delimited();
    if (!bytes) {
      return fail(bytes.error());
    }
    return *bytes;
  }

  [[nodiscard]] Status bytes(FieldKey key, Bytes& out) {
    const auto value = span(key);
    if (!value) {
      return std::unexpected(value.error());
    }
    out.assign(value->begin(), value->end());
    return {};
  }

  [[nodiscard]] Status text(FieldKey key, std::string& out) {
    const auto value = span(key);
    if (!value) {
      return std::unexpected(value.error());
    }
    if (!is_valid_utf8(*value)) {
      return fail(WireFault::kInvalidUtf8);
    }
    out.assign(value->begin(), value->end());
    return {};
  }

  [[nodiscard]] std::expected<std::uint64_t, std::string> varint(FieldKey key) {
    if (key.type != WireType::kVarint) {
      return fail(WireFault::kWrongWireType);
    }
    const auto value = reader_.varint();
    if (!value) {
      return fail(value.error());
    }
    return *value;
  }

  // int32 fields keep the low 32 bits of the varint, as protobuf does.
  [[nodiscard]] Status int32(FieldKey key, std::int32_t& out) {
    const auto value = varint(key);
    if (!value) {
      return std::unexpected(value.error());
    }
    out = static_cast<std::int32_t>(static_cast<std::uint32_t>(*value));
    return {};
  }

 private:
  Reader& reader_;
  std::string_view message_;
  std::string_view field_;
};

Status decode_binding_into(std::span<const std::uint8_t> bytes, int depth_budget,
                           DeviceBinding& binding) {
  Reader reader(bytes);
  while (!reader.at_end()) {
    const auto key = reader.key();
    if (!key) {
      return FieldReader(reader, kBindingMessage, "key").fail(key.error());
    }
    if (key->number >= kBindingFields.size()) {
      if (const auto skipped = reader.skip(*key, depth_budget); !skipped) {
        return FieldReader(reader, kBindingMessage, "unknown field").fail(skipped.error());
      }
      continue;
    }
    FieldReader field(reader, kBindingMessage, kBindingFields[key->number]);
    Status status = key->number == 1 ? field.bytes(*key, binding.device_id)
                                     : field.bytes(*key, binding.identity_key_fingerprint_sha256);
    if (!status) {
      return status;
    }
  }
  return {};
}

// A binding that occurs again is merged into the earlier one, field by field.
Status read_binding(FieldReader& field, FieldKey key, int depth_budget,
                    std::optional<DeviceBinding>& binding) {
  const auto bytes = field.span(key);
  if (!bytes) {
    return std::unexpected(bytes.error());
  }
  if (depth_budget <= 0) {
    return field.fail(WireFault::kGroupTooDeep);
  }
  if (!binding) {
    binding.emplace();
  }
  return decode_binding_into(*bytes, depth_budget - 1, *binding);
}

// Both the packed run and single varints append in order.
Status read_permissions(FieldReader& field, FieldKey key, std::vector<std::int32_t>& out) {
  if (key.type == WireType::kVarint) {
    std::int32_t value = 0;
    if (auto status = field.int32(key, value); !status) {
      return status;
    }
    out.push_back(value);
    return {};
  }
  const auto packed = field.span(key);
  if (!packed) {
    return std::unexpected(packed.error());
  }
  out.reserve(out.size() + packed->size());  // at least one byte per value
  Reader run(*packed);
  while (!run.at_end()) {
    const auto value = run.varint();
    if (!value) {
      return field.fail(value.error());
    }
    out.push_back(static_cast<std::int32_t>(static_cast<std::uint32_t>(*value)));
  }
  return {};
}

Status read_ticket_field(Reader& reader, FieldKey key, SessionTicket& ticket) {
  constexpr int kBudget = wire::kDepthBudget;
  if (key.number >= kTicketFields.size()) {
    if (const auto skipped = reader.skip(key, kBudget); !skipped) {
      return FieldReader(reader, kTicketMessage, "unknown field").fail(skipped.error());
    }
    return {};
  }
  FieldReader field(reader, kTicketMessage, kTicketFields[key.number]);
  switch (key.number) {
    case 1:
      return field.bytes(key, ticket.session_id);
    case 2:
      return read_binding(field, key, kBudget, ticket.requester);
    case 3:
      return read_binding(field, key, kBudget, ticket.target);
    case 4:
      return field.int32(key, ticket.role);
    case 5:
      return read_permissions(field, key, ticket.permissions);
    case 6:
      return field.text(key, ticket.entitlements.emplace_back());
    case 7:
      return field.text(key, ticket.display_id);
    case 8:
      return field.int32(key, ticket.approval_mode);
    case 9:
    case 10: {
      const auto value = field.varint(key);
      if (!value) {
        return std::unexpected(value.error());
      }
      (key.number == 9 ? ticket.issued_at_unix_s : ticket.expires_at_unix_s) = *value;
      return {};
    }
    case 11:
      return field.bytes(key, ticket.nonce);
    case 12: {
      const auto value = field.varint(key);
      if (!value) {
        return std::unexpected(value.error());
      }
      ticket.protocol_major = static_cast<std::uint32_t>(*value);  // uint32 keeps the low bits
      return {};
    }
    case 13:
      return field.text(key, ticket.signing_key_id);
    case 14:
      return field.bytes(key, ticket.requester_dtls_fingerprint_sha256);
    default:
      return field.bytes(key, ticket.target_dtls_fingerprint_sha256);
  }
}

}  // namespace

std::expected<SessionTicket, ProtocolError> decode_session_ticket(
    std::span<const std::uint8_t> payload) {
  SessionTicket ticket;
  Reader reader(payload);
  while (!reader.at_end()) {
    const auto key = reader.key();
    if (!key) {
      return std::unexpected(ProtocolError::decode(
          FieldReader(reader, kTicketMessage, "key").fail(key.error()).error()));
    }
    if (auto status = read_ticket_field(reader, *key, ticket); !status) {
      return std::unexpected(ProtocolError::decode(std::move(status.error())));
    }
  }
  return ticket;
}

std::expected<SessionTicket, ProtocolError> decode_canonical_session_ticket(
    std::span<const std::uint8_t> payload) {
  if (payload.size() > kTicketPayloadLimit) {
    return std::unexpected(
        ProtocolError::too_large(FieldLabel::kTicketPayload, kTicketPayloadLimit));
  }
  auto ticket = decode_session_ticket(payload);
  if (!ticket) {
    return ticket;
  }
  const Bytes canonical = encode_session_ticket(*ticket);
  if (!std::ranges::equal(canonical, payload)) {
    return std::unexpected(ProtocolError::of_kind(ProtocolErrorKind::kNonCanonical));
  }
  return ticket;
}

}  // namespace ombrelin::protocol
