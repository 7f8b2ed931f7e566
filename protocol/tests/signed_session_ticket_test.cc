#include "ombrelin/protocol/signed_session_ticket.h"

#include <gtest/gtest.h>

#include <string>

#include "ticket_test_support.h"

namespace ombrelin::protocol {
namespace {

using testing::PrintTo;

using testing::from_hex;

TEST(SignedSessionTicket, EncodesTicketThenSignatureOnlyWhenNonEmpty) {
  EXPECT_EQ(encode_signed_session_ticket({{0x01, 0x02}, {0x03}}), from_hex("0a020102 120103"));
  EXPECT_EQ(encode_signed_session_ticket({{}, {0x03}}), from_hex("120103"));
  EXPECT_TRUE(encode_signed_session_ticket({}).empty());
  const SignedSessionTicket big{Bytes(200, 0x01), Bytes(64, 0x02)};
  EXPECT_EQ(signed_session_ticket_size(big), encode_signed_session_ticket(big).size());
}

struct EnvelopeCase {
  std::string name;
  std::string hex;
  ProtocolErrorKind kind;
};

class EnvelopeForm : public ::testing::TestWithParam<EnvelopeCase> {};

TEST_P(EnvelopeForm, RefusesAllButTheCanonicalForm) {
  const auto result = decode_canonical_signed_session_ticket(from_hex(GetParam().hex));
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind, GetParam().kind) << to_string(result.error());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EnvelopeForm,
    ::testing::Values(
        EnvelopeCase{"SignatureBeforeTicket", "120103 0a0101", ProtocolErrorKind::kNonCanonical},
        EnvelopeCase{"TicketRepeated", "0a0101 0a0101 120103", ProtocolErrorKind::kNonCanonical},
        EnvelopeCase{"UnknownField", "0a0101 120103 1801", ProtocolErrorKind::kNonCanonical},
        EnvelopeCase{"EmptyTicketWrittenOut", "0a00 120103", ProtocolErrorKind::kNonCanonical},
        EnvelopeCase{"PaddedLength", "0a810001 120103", ProtocolErrorKind::kNonCanonical},
        EnvelopeCase{"TicketAsVarint", "0801 120103", ProtocolErrorKind::kDecode},
        EnvelopeCase{"SignaturePastEnd", "0a0101 1205 03", ProtocolErrorKind::kDecode},
        EnvelopeCase{"WireType7", "0f", ProtocolErrorKind::kDecode}),
    testing::CaseName{});

TEST(SignedSessionTicket, DecoderKeepsTheLastOfARepeatedField) {
  const auto envelope = decode_signed_session_ticket(from_hex("120101 0a0102 120103"));
  ASSERT_TRUE(envelope.has_value());
  EXPECT_EQ(envelope->ticket, Bytes{0x02});
  EXPECT_EQ(envelope->signature, Bytes{0x03});
}

TEST(SignedSessionTicket, AcceptsExactly4096Bytes) {
  // 3 bytes of key and length, 4093 payload bytes: 4096 in all.
  SignedSessionTicket envelope{Bytes(4093, 0x07), {}};
  const Bytes at_limit = encode_signed_session_ticket(envelope);
  ASSERT_EQ(at_limit.size(), 4096u);
  EXPECT_TRUE(decode_canonical_signed_session_ticket(at_limit).has_value());

  envelope.ticket.push_back(0x07);
  const auto over = decode_canonical_signed_session_ticket(encode_signed_session_ticket(envelope));
  ASSERT_FALSE(over.has_value());
  EXPECT_EQ(over.error(), ProtocolError::too_large(FieldLabel::kSignedTicket, 4096));
}

}  // namespace
}  // namespace ombrelin::protocol
