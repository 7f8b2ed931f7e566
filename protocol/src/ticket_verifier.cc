#include "ombrelin/protocol/ticket_verifier.h"

#include <sodium.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "byte_rules.h"

namespace ombrelin::protocol {
namespace {

constexpr std::size_t kKeyIdLimit = 64;

Sha256Digest sha256(std::span<const std::uint8_t> bytes) noexcept {
  Sha256Digest digest{};
  crypto_hash_sha256(digest.data(), bytes.data(), bytes.size());
  return digest;
}

}  // namespace

Bytes ticket_signing_message(std::span<const std::uint8_t> payload) {
  // Sized once and filled in place (the zero byte is already there).
  Bytes message(kTicketSigningDomain.size() + 1 + payload.size(), 0x00);
  std::ranges::copy(kTicketSigningDomain, message.begin());
  std::ranges::copy(payload, message.begin() + std::ssize(kTicketSigningDomain) + 1);
  return message;
}

std::expected<VerifiedTicket, ProtocolError> verify_session_ticket(
    const SignedSessionTicket& envelope, std::string_view key_id,
    const Ed25519PublicKey& public_key, const TicketExpectations& expected) {
  if (signed_session_ticket_size(envelope) > kSignedTicketLimit) {
    return std::unexpected(ProtocolError::too_large(FieldLabel::kSignedTicket, kSignedTicketLimit));
  }
  // Size limit, decoding and the canonical comparison, in that order.
  auto ticket = decode_canonical_session_ticket(envelope.ticket);
  if (!ticket) {
    return std::unexpected(std::move(ticket.error()));
  }
  if (key_id != ticket->signing_key_id) {
    return std::unexpected(ProtocolError::of_kind(ProtocolErrorKind::kKeyIdMismatch));
  }
  if (!is_printable_ascii(key_id, kKeyIdLimit)) {
    return std::unexpected(ProtocolError::malformed(FieldLabel::kKeyId));
  }
  // The key must decode before the signature is looked at. A strict verification
  // that succeeds already proves it does (libsodium decodes the key and refuses
  // non-canonical and small-order ones), so decoding, which costs about a third
  // of a verification, is only needed to name the failure when something fails.
  const auto unless_key_malformed = [&](ProtocolError otherwise) {
    return std::unexpected(is_compressed_edwards_point(public_key)
                               ? std::move(otherwise)
                               : ProtocolError::malformed(FieldLabel::kTicketPublicKey));
  };
  if (envelope.signature.size() != kEd25519SignatureLength) {
    return unless_key_malformed(ProtocolError::malformed(FieldLabel::kTicketSignature));
  }
  const Bytes message = ticket_signing_message(envelope.ticket);
  const std::span<const std::uint8_t, kEd25519SignatureLength> signature(envelope.signature.data(),
                                                                         kEd25519SignatureLength);
  if (!verify_ed25519_strict(signature, message, public_key)) {
    return unless_key_malformed(ProtocolError::of_kind(ProtocolErrorKind::kBadSignature));
  }
  const Sha256Digest digest = sha256(envelope.ticket);
  const auto mask = validate_ticket_fields(*ticket, expected);
  if (!mask) {
    return std::unexpected(mask.error());
  }
  return VerifiedTicket{
      .ticket = std::move(*ticket), .permissions = *mask, .payload_digest = digest};
}

}  // namespace ombrelin::protocol
