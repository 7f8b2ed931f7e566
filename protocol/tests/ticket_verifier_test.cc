#include "ombrelin/protocol/ticket_verifier.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <functional>
#include <optional>
#include <string>

#include "ed25519_test_points.h"
#include "ticket_test_support.h"

namespace ombrelin::protocol {
namespace {

using testing::PrintTo;

using namespace testing;
using E = ProtocolError;
using K = ProtocolErrorKind;
using L = FieldLabel;

// What the verifier is handed; each case changes one part after a valid signing.
struct Verification {
  SignedSessionTicket envelope;
  std::string key_id = kKeyId;
  Ed25519PublicKey key = fixed_key_pair().public_key;
};

Verification signed_ticket(const SessionTicket& ticket = valid_ticket()) {
  const Bytes payload = encode_session_ticket(ticket);
  return {{payload, sign_ticket_payload(payload, fixed_key_pair())}};
}

struct VerifierCase {
  std::string name;
  std::function<Verification()> make;
  std::optional<ProtocolError> error;  // none: verified
};

class VerifySessionTicket : public ::testing::TestWithParam<VerifierCase> {};

TEST_P(VerifySessionTicket, ChecksInOrderAndNamesTheFailure) {
  const Verification v = GetParam().make();
  const auto result = verify_session_ticket(v.envelope, v.key_id, v.key, expectations());
  if (GetParam().error) {
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), *GetParam().error) << to_string(result.error());
  } else {
    ASSERT_TRUE(result.has_value()) << to_string(result.error());
  }
}

Ed25519PublicKey off_curve_key() { return Ed25519PublicKey{2}; }  // y = 2 has no x

Verification with_key_id(const std::string& id) {
  SessionTicket ticket = valid_ticket();
  ticket.signing_key_id = id;
  Verification v = signed_ticket(ticket);
  v.key_id = id;
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, VerifySessionTicket,
    ::testing::Values(VerifierCase{"Valid", [] { return signed_ticket(); }, std::nullopt},
                      VerifierCase{"EnvelopeOverLimit",
                                   [] {
                                     Verification v = signed_ticket();
                                     v.envelope.ticket.resize(4096 - 66, 0);
                                     return v;
                                   },
                                   E::too_large(L::kSignedTicket, 4096)},
                      VerifierCase{"PayloadUndecodable",
                                   [] {
                                     Verification v = signed_ticket();
                                     v.envelope.ticket.push_back(0x0f);
                                     return v;
                                   },
                                   E::decode("SessionTicket.key: wire type 6 or 7")},
                      VerifierCase{
                          "PayloadNotCanonical",
                          [] {
                            Verification v = signed_ticket();
                            v.envelope.ticket.insert(v.envelope.ticket.end(), {0x20, 0x01});
                            return v;
                          },
                          E::of_kind(K::kNonCanonical)},
                      VerifierCase{"KeyIdInOtherCase",
                                   [] {
                                     Verification v = signed_ticket();
                                     v.key_id = "DEV-KEY-2024";
                                     return v;
                                   },
                                   E::of_kind(K::kKeyIdMismatch)},
                      VerifierCase{"KeyIdEmptyOnBothSides", [] { return with_key_id(""); },
                                   E::malformed(L::kKeyId)},
                      VerifierCase{"KeyIdWithSpaceOnBothSides",
                                   [] { return with_key_id("dev key"); }, E::malformed(L::kKeyId)},
                      VerifierCase{"KeyOffCurve",
                                   [] {
                                     Verification v = signed_ticket();
                                     v.key = off_curve_key();
                                     return v;
                                   },
                                   E::malformed(L::kTicketPublicKey)},
                      VerifierCase{"KeyOffCurveBeforeShortSignature",
                                   [] {
                                     Verification v = signed_ticket();
                                     v.key = off_curve_key();
                                     v.envelope.signature.pop_back();
                                     return v;
                                   },
                                   E::malformed(L::kTicketPublicKey)},
                      VerifierCase{"KeyNonCanonical",
                                   [] {
                                     Verification v = signed_ticket();
                                     v.key = points::kIdentityPlusPrime;
                                     return v;
                                   },
                                   E::malformed(L::kTicketPublicKey)},
                      VerifierCase{"SignatureShort",
                                   [] {
                                     Verification v = signed_ticket();
                                     v.envelope.signature.pop_back();
                                     return v;
                                   },
                                   E::malformed(L::kTicketSignature)},
                      VerifierCase{"SignatureMissing",
                                   [] {
                                     Verification v = signed_ticket();
                                     v.envelope.signature.clear();
                                     return v;
                                   },
                                   E::malformed(L::kTicketSignature)},
                      VerifierCase{"SmallOrderKeyDecodesButCannotSign",
                                   [] {
                                     Verification v = signed_ticket();
                                     v.key = points::kOrderEight;
                                     return v;
                                   },
                                   E::of_kind(K::kBadSignature)},
                      VerifierCase{"SignatureCheckedBeforeTheRules",
                                   [] {
                                     SessionTicket ticket = valid_ticket();
                                     ticket.expires_at_unix_s = kNowS;
                                     Verification v = signed_ticket(ticket);
                                     v.envelope.signature[0] ^= 1;
                                     return v;
                                   },
                                   E::of_kind(K::kBadSignature)},
                      VerifierCase{"RulesAfterTheSignature",
                                   [] {
                                     SessionTicket ticket = valid_ticket();
                                     ticket.expires_at_unix_s = kNowS;
                                     return signed_ticket(ticket);
                                   },
                                   E::of_kind(K::kExpired)}),
    testing::CaseName{});

TEST(VerifySessionTicketResult, CarriesMaskAndDigestOfTheBytesReceived) {
  const Verification v = signed_ticket();
  const auto verified = verify_session_ticket(v.envelope, v.key_id, v.key, expectations());
  ASSERT_TRUE(verified.has_value());
  Sha256Digest digest{};
  crypto_hash_sha256(digest.data(), v.envelope.ticket.data(), v.envelope.ticket.size());
  EXPECT_EQ(verified->payload_digest, digest);
  EXPECT_EQ(verified->permissions, 0x000du);
  EXPECT_EQ(verified->ticket, valid_ticket());
}

}  // namespace
}  // namespace ombrelin::protocol
