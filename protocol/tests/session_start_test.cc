#include "ombrelin/protocol/session_start.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "ed25519_test_points.h"
#include "ombrelin/protocol/signed_session_ticket.h"
#include "ombrelin/protocol/text_codecs.h"
#include "ombrelin/protocol/ticket_verifier.h"
#include "ticket_test_support.h"

namespace ombrelin::protocol {
namespace {

using testing::PrintTo;

using namespace testing;
using F = SessionStartFailure;

struct StartCase {
  std::string name;
  std::function<void(SessionTicket&)> ticket_edit;
  std::function<void(StartInputs&)> request_edit;
  std::optional<SessionStartFailure> failure;  // none: a grant
};

class SessionStart : public ::testing::TestWithParam<StartCase> {};

TEST_P(SessionStart, AnswersWithTheCodeOfTheFirstFailingStep) {
  SessionTicket ticket = valid_ticket();
  GetParam().ticket_edit(ticket);
  StartInputs inputs = valid_start_inputs(ticket);
  GetParam().request_edit(inputs);
  const auto result = check_session_start(inputs.request(), host_binding(), kNowMs);
  if (GetParam().failure) {
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(static_cast<int>(result.error()), static_cast<int>(*GetParam().failure));
  } else {
    EXPECT_TRUE(result.has_value()) << static_cast<int>(result.error());
  }
}

void keep(SessionTicket&) {}
void keep_request(StartInputs&) {}

StartCase request(std::string name, std::function<void(StartInputs&)> edit,
                  std::optional<SessionStartFailure> failure) {
  return {std::move(name), keep, std::move(edit), failure};
}

StartCase ticket(std::string name, std::function<void(SessionTicket&)> edit,
                 std::optional<SessionStartFailure> failure) {
  return {std::move(name), std::move(edit), keep_request, failure};
}

// Replaces the signed ticket with `payload` under `signature`.
void send(StartInputs& in, const Bytes& payload, const Bytes& signature) {
  in.signed_ticket = signed_ticket_text(payload, signature);
}

// One length-delimited field with a one-byte key.
void wire_append(Bytes& out, std::uint8_t number, const Bytes& value) {
  out.push_back(static_cast<std::uint8_t>(number << 3 | 2));
  for (std::size_t n = value.size();; n >>= 7) {
    out.push_back(static_cast<std::uint8_t>((n & 0x7f) | (n >= 0x80 ? 0x80 : 0)));
    if (n < 0x80) break;
  }
  out.insert(out.end(), value.begin(), value.end());
}

Bytes valid_payload() { return encode_session_ticket(valid_ticket()); }

INSTANTIATE_TEST_SUITE_P(
    RequestFields, SessionStart,
    ::testing::Values(
        request("Valid", keep_request, std::nullopt),
        request(
            "NameOnlySpaces", [](auto& in) { in.requester_name = "   "; }, F::kRequestInvalid),
        request(
            "NameWithTab", [](auto& in) { in.requester_name = "a\tb"; }, F::kRequestInvalid),
        request(
            "NameWithNextLine", [](auto& in) { in.requester_name = "a\xc2\x85"; },
            F::kRequestInvalid),
        request(
            "Name128", [](auto& in) { in.requester_name.assign(128, 'n'); }, std::nullopt),
        request(
            "LeaseAtLimit", [](auto& in) { in.lease_expires_at_ms = kNowMs + 330000; },
            std::nullopt),
        request(
            "Name129", [](auto& in) { in.requester_name.assign(129, 'n'); }, F::kRequestInvalid),
        request(
            "NoPermissions", [](auto& in) { in.permissions.clear(); }, F::kRequestInvalid),
        request(
            "SeventeenPermissions", [](auto& in) { in.permissions.assign(17, 0); },
            F::kRequestInvalid),
        request(
            "LeaseNow", [](auto& in) { in.lease_expires_at_ms = kNowMs; }, F::kRequestInvalid),
        request(
            "LeaseBeyondLimit", [](auto& in) { in.lease_expires_at_ms = kNowMs + 330001; },
            F::kRequestInvalid),
        request(
            "AlgorithmLowerCase", [](auto& in) { in.algorithm = "ed25519"; }, F::kRequestInvalid),
        request(
            "OtherEncoding", [](auto& in) { in.encoding = "base64url"; }, F::kRequestInvalid),
        request(
            "KeyId65", [](auto& in) { in.key_id.assign(65, 'k'); }, F::kRequestInvalid),
        request(
            "KeyIdWithSpace", [](auto& in) { in.key_id = "dev key"; }, F::kRequestInvalid),
        request(
            "SessionIdUpperCase",
            [](auto& in) { in.session_id = "8F14E45F-CEEA-467F-A8F5-2F3B1D0A9C11"; },
            F::kRequestInvalid)),
    testing::CaseName{});

INSTANTIATE_TEST_SUITE_P(
    TicketAndKey, SessionStart,
    ::testing::Values(
        request(
            "TicketTextPadded", [](auto& in) { in.signed_ticket += "="; }, F::kTicketInvalid),
        request(
            "EnvelopeReordered",
            [](auto& in) {
              const Bytes payload = valid_payload();
              Bytes bytes;
              wire_append(bytes, 2, sign_ticket_payload(payload, fixed_key_pair()));
              wire_append(bytes, 1, payload);
              in.signed_ticket = encode_base64url(bytes);
            },
            F::kTicketInvalid),
        request(
            "Envelope4097Bytes",
            [](auto& in) { in.signed_ticket = encode_base64url(Bytes(4097, 0x0a)); },
            F::kTicketInvalid),
        request(
            "PayloadNotCanonical",
            [](auto& in) {
              Bytes payload = valid_payload();
              payload.insert(payload.end(), {0x20, 0x01});  // role again, out of order
              send(in, payload, sign_ticket_payload(payload, fixed_key_pair()));
            },
            F::kTicketInvalid),
        ticket(
            "NoRequester", [](auto& tk) { tk.requester.reset(); }, F::kTicketInvalid),
        ticket(
            "RequesterDeviceShort", [](auto& tk) { tk.requester->device_id.pop_back(); },
            F::kTicketInvalid),
        request(
            "KeyTextPadded", [](auto& in) { in.public_key += "="; }, F::kTicketInvalid),
        request(
            "Key33Bytes", [](auto& in) { in.public_key = encode_base64url(Bytes(33, 7)); },
            F::kTicketInvalid),
        request(
            "Key31Bytes", [](auto& in) { in.public_key = encode_base64url(Bytes(31, 7)); },
            F::kPublicKeyLength),
        request(
            "OtherSession",
            [](auto& in) { in.session_id = "8f14e45f-ceea-467f-a8f5-2f3b1d0a9c12"; },
            F::kTicketInvalid),
        request(
            "ByteChangedAfterSigning",
            [](auto& in) {
              Bytes payload = valid_payload();
              const Bytes signature = sign_ticket_payload(payload, fixed_key_pair());
              payload[payload.size() - 40] ^= 0x01;  // inside a DTLS fingerprint
              send(in, payload, signature);
            },
            F::kTicketInvalid),
        request(
            "SignedWithoutZeroByte",
            [](auto& in) {
              const Bytes payload = valid_payload();
              Bytes message(kTicketSigningDomain.begin(), kTicketSigningDomain.end());
              message.insert(message.end(), payload.begin(), payload.end());
              send(in, payload, sign(message, fixed_key_pair()));
            },
            F::kTicketInvalid),
        request(
            "MixedOrderKeyTorsionCancelled",
            [](auto& in) {
              const auto forged = points::mixed_order_ticket_signature(valid_payload(), true);
              in.public_key = encode_base64url(forged.key);
              send(in, valid_payload(), forged.signature);
            },
            std::nullopt),
        request(
            "MixedOrderKeyTorsionLeft",
            [](auto& in) {
              const auto forged = points::mixed_order_ticket_signature(valid_payload(), false);
              in.public_key = encode_base64url(forged.key);
              send(in, valid_payload(), forged.signature);
            },
            F::kTicketInvalid)),
    testing::CaseName{});

INSTANTIATE_TEST_SUITE_P(
    PagePermissions, SessionStart,
    ::testing::Values(
        request(
            "OtherOrder", [](auto& in) { std::swap(in.permissions[0], in.permissions[1]); },
            F::kPermissionsMismatch),
        request(
            "OneLess", [](auto& in) { in.permissions.pop_back(); }, F::kPermissionsMismatch),
        ticket(
            "TicketWithoutViewScreen",
            [](auto& tk) {
              tk.permissions = {3, 4};
            },
            F::kPermissionsMismatch),
        ticket(
            "TicketWithGamepad",
            [](auto& tk) {
              tk.permissions = {1, 7};
            },
            F::kPermissionsMismatch),
        ticket(
            "EveryOtherPermission",
            [](auto& tk) { tk.permissions = {1, 2, 3, 4, 5, 6, 8, 9, 10, 11, 12, 13, 14, 15, 16}; },
            std::nullopt)),
    testing::CaseName{});

TEST(SessionStartGrant, CarriesTheTicketAndTheRequest) {
  SessionTicket ticket = valid_ticket();
  ticket.expires_at_unix_s = ticket.issued_at_unix_s + 60;
  StartInputs inputs = valid_start_inputs(ticket);
  inputs.requester_name = "  Support desk ";
  inputs.lease_expires_at_ms = kNowMs + 300'001;  // outlasts the ticket; rounds up

  const auto grant = check_session_start(inputs.request(), host_binding(), kNowMs);
  ASSERT_TRUE(grant.has_value());
  const Bytes payload = encode_session_ticket(ticket);
  Sha256Digest digest{};
  crypto_hash_sha256(digest.data(), payload.data(), payload.size());

  EXPECT_EQ(grant->requester_name, "  Support desk ");
  EXPECT_EQ(grant->session_id, *parse_uuid_text(kSessionIdText));
  EXPECT_EQ(grant->requester_device_id, requester_device_id());
  EXPECT_EQ(grant->requester_identity_fingerprint, requester_fingerprint());
  EXPECT_EQ(grant->lease_expires_at_unix_s, (kNowMs + 300'001 + 999) / 1000);
  EXPECT_EQ(grant->allowed_permissions, 0x000du);
  EXPECT_EQ(grant->granted_permissions, (std::vector<PermissionIndex>{0, 2, 3}));
  EXPECT_EQ(grant->session_id_text, kSessionIdText);
  EXPECT_EQ(grant->display_id, "\\\\.\\DISPLAY1");
  EXPECT_EQ(grant->requester_fingerprint_text,
            "909192939495969798999a9b9c9d9e9fa0a1a2a3a4a5a6a7a8a9aaabacadaeaf");
  EXPECT_EQ(grant->ticket_payload_digest, digest);
  EXPECT_EQ(grant->requested_permissions, grant->allowed_permissions);
}

// The ticket's window is judged in whole seconds rounded down: at the last
// millisecond of a second the ticket still counts as unexpired when it expires
// at the next one, and as expired when it expires at that second.
TEST(SessionStartClock, TicketTimesUseSecondsRoundedDown) {
  const std::uint64_t last_ms_of_second = kNowS * 1000 + 999;
  SessionTicket ticket = valid_ticket();
  ticket.issued_at_unix_s = kNowS - 10;
  ticket.expires_at_unix_s = kNowS + 1;
  StartInputs inputs = valid_start_inputs(ticket);
  inputs.lease_expires_at_ms = last_ms_of_second + 60'000;
  EXPECT_TRUE(check_session_start(inputs.request(), host_binding(), last_ms_of_second).has_value());

  ticket.expires_at_unix_s = kNowS;
  inputs = valid_start_inputs(ticket);
  inputs.lease_expires_at_ms = last_ms_of_second + 60'000;
  const auto expired = check_session_start(inputs.request(), host_binding(), last_ms_of_second);
  ASSERT_FALSE(expired.has_value());
  EXPECT_EQ(expired.error(), SessionStartFailure::kTicketInvalid);
}

// Near the end of time the lease in seconds must round up without wrapping.
TEST(SessionStartGrant, LeaseRoundingSaturates) {
  constexpr std::uint64_t kLast = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t now_ms = kLast - 1000;
  SessionTicket ticket = valid_ticket();
  ticket.issued_at_unix_s = now_ms / 1000 - 5;
  ticket.expires_at_unix_s = now_ms / 1000 + 55;
  StartInputs inputs = valid_start_inputs(ticket);
  inputs.lease_expires_at_ms = kLast;
  const auto grant = check_session_start(inputs.request(), host_binding(), now_ms);
  ASSERT_TRUE(grant.has_value());
  EXPECT_EQ(grant->lease_expires_at_unix_s, kLast / 1000);
}

}  // namespace
}  // namespace ombrelin::protocol
