#include "ticket_test_support.h"

#include <sodium.h>

#include <algorithm>
#include <iterator>

#include "ombrelin/protocol/signed_session_ticket.h"
#include "ombrelin/protocol/text_codecs.h"
#include "ombrelin/protocol/ticket_verifier.h"

namespace ombrelin::protocol::testing {

Bytes filled(std::size_t size, std::uint8_t value) { return Bytes(size, value); }

Bytes from_hex(std::string_view hex) {
  std::string digits;
  std::ranges::copy_if(hex, std::back_inserter(digits), [](char c) { return c != ' '; });
  Bytes out;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

HostBinding host_binding() {
  HostBinding host;
  host.device_id = *parse_uuid_text("0b7e1f0c-5d2a-4c3e-9f11-6a2b8c4d0e55");
  std::ranges::fill(host.identity_fingerprint, 0xa7);
  host.identity_fingerprint[0] = 0x01;
  return host;
}

Uuid requester_device_id() { return *parse_uuid_text("3c9d2b1a-7e6f-4a5b-8c0d-1e2f3a4b5c6d"); }

Sha256Digest requester_fingerprint() {
  Sha256Digest print{};
  for (std::size_t i = 0; i < print.size(); ++i) {
    print[i] = static_cast<std::uint8_t>(0x90 + i);
  }
  return print;
}

SessionTicket valid_ticket() {
  const HostBinding host = host_binding();
  const Uuid session = *parse_uuid_text(kSessionIdText);
  const Uuid requester = requester_device_id();
  const Sha256Digest requester_print = requester_fingerprint();
  SessionTicket ticket;
  ticket.session_id.assign(session.begin(), session.end());
  ticket.requester = DeviceBinding{Bytes(requester.begin(), requester.end()),
                                   Bytes(requester_print.begin(), requester_print.end())};
  ticket.target =
      DeviceBinding{Bytes(host.device_id.begin(), host.device_id.end()),
                    Bytes(host.identity_fingerprint.begin(), host.identity_fingerprint.end())};
  ticket.role = 1;
  ticket.permissions = {1, 3, 4};
  ticket.entitlements = {"audio", "clipboard.basic"};
  ticket.display_id = "\\\\.\\DISPLAY1";
  ticket.approval_mode = 1;
  ticket.issued_at_unix_s = kNowS - 5;
  ticket.expires_at_unix_s = kNowS + 55;
  ticket.nonce = filled(32, 0x5c);
  ticket.protocol_major = 1;
  ticket.signing_key_id = kKeyId;
  ticket.requester_dtls_fingerprint_sha256 = filled(32, 0xd1);
  ticket.target_dtls_fingerprint_sha256 = filled(32, 0xd2);
  return ticket;
}

TicketExpectations expectations() {
  const HostBinding host = host_binding();
  return TicketExpectations{
      .session_id = *parse_uuid_text(kSessionIdText),
      .requester_device_id = requester_device_id(),
      .target_device_id = host.device_id,
      .requester_identity_fingerprint = requester_fingerprint(),
      .target_identity_fingerprint = host.identity_fingerprint,
      .now_unix_s = kNowS,
      .protocol_major = 1,
  };
}

KeyPair fixed_key_pair() {
  std::array<std::uint8_t, 32> seed{};
  std::ranges::fill(seed, 0x42);
  KeyPair key;
  crypto_sign_seed_keypair(key.public_key.data(), key.secret_key.data(), seed.data());
  return key;
}

Bytes sign(std::span<const std::uint8_t> message, const KeyPair& key) {
  Bytes signature(64);
  crypto_sign_detached(signature.data(), nullptr, message.data(), message.size(),
                       key.secret_key.data());
  return signature;
}

Bytes sign_ticket_payload(std::span<const std::uint8_t> payload, const KeyPair& key) {
  return sign(ticket_signing_message(payload), key);
}

SessionStartRequest StartInputs::request() const {
  return SessionStartRequest{
      .session_id = session_id,
      .requester_name = requester_name,
      .permissions = permissions,
      .lease_expires_at_ms = lease_expires_at_ms,
      .signed_ticket = signed_ticket,
      .ticket_key = {key_id, algorithm, public_key, encoding},
  };
}

std::string signed_ticket_text(std::span<const std::uint8_t> payload,
                               std::span<const std::uint8_t> signature) {
  const SignedSessionTicket envelope{Bytes(payload.begin(), payload.end()),
                                     Bytes(signature.begin(), signature.end())};
  return encode_base64url(encode_signed_session_ticket(envelope));
}

StartInputs valid_start_inputs(const SessionTicket& ticket, const KeyPair& key) {
  const Bytes payload = encode_session_ticket(ticket);
  StartInputs inputs;
  inputs.signed_ticket = signed_ticket_text(payload, sign_ticket_payload(payload, key));
  inputs.public_key = encode_base64url(key.public_key);
  for (const std::int32_t value : ticket.permissions) {
    inputs.permissions.push_back(static_cast<PermissionIndex>(value - 1));
  }
  return inputs;
}

}  // namespace ombrelin::protocol::testing
