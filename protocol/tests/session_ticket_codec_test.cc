#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "ombrelin/protocol/session_ticket.h"
#include "ticket_test_support.h"

namespace ombrelin::protocol {
namespace {

using testing::PrintTo;

using testing::from_hex;
using testing::valid_ticket;

// Every kind of field with a hand-written expectation: a present but empty binding,
// a negative int32, a packed list, an empty entitlement, values above 127.
TEST(SessionTicketEncoding, MatchesGoldenBytes) {
  SessionTicket ticket;
  ticket.session_id = {0x01, 0x02};
  ticket.requester = DeviceBinding{};
  ticket.target = DeviceBinding{{0xaa}, {0xbb, 0xcc}};
  ticket.role = -1;
  ticket.permissions = {1, 3, 16};
  ticket.entitlements = {"a", ""};
  ticket.display_id = "d";
  ticket.approval_mode = 2;
  ticket.issued_at_unix_s = 300;
  ticket.protocol_major = 1;
  ticket.signing_key_id = "k";
  ticket.requester_dtls_fingerprint_sha256 = {0xff};
  ticket.target_dtls_fingerprint_sha256 = {0x00};
  const Bytes golden = from_hex(
      "0a020102"
      "1200"
      "1a070a01aa1202bbcc"
      "20ffffffffffffffffff01"
      "2a03010310"
      "3201613200"
      "3a0164"
      "4002"
      "48ac02"
      "6001"
      "6a016b"
      "7201ff"
      "7a0100");
  EXPECT_EQ(encode_session_ticket(ticket), golden);
  const auto decoded = decode_canonical_session_ticket(golden);
  ASSERT_TRUE(decoded.has_value()) << to_string(decoded.error());
  EXPECT_EQ(*decoded, ticket);
}

// Splits canonical bytes (one-byte keys) into whole fields, so cases can reorder,
// repeat or rewrite them.
std::vector<Bytes> split_fields(const Bytes& bytes) {
  std::vector<Bytes> fields;
  std::size_t at = 0;
  const auto varint_end = [&](std::size_t from) {
    while (bytes[from] & 0x80) ++from;
    return from + 1;
  };
  while (at < bytes.size()) {
    const std::uint8_t key = bytes[at];
    std::size_t end = 0;
    if ((key & 7) == 0) {
      end = varint_end(at + 1);
    } else {
      std::size_t length = 0;
      std::size_t shift = 0;
      std::size_t p = at + 1;
      for (;; ++p, shift += 7) {
        length |= std::size_t{bytes[p] & 0x7fu} << shift;
        if (!(bytes[p] & 0x80)) break;
      }
      end = p + 1 + length;
    }
    fields.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(end));
    at = end;
  }
  return fields;
}

Bytes join(const std::vector<Bytes>& fields) {
  Bytes out;
  for (const Bytes& f : fields) out.insert(out.end(), f.begin(), f.end());
  return out;
}

std::size_t index_of_key(const std::vector<Bytes>& fields, std::uint8_t key) {
  const auto it = std::ranges::find_if(fields, [&](const Bytes& f) { return f[0] == key; });
  return static_cast<std::size_t>(it - fields.begin());
}

struct EditCase {
  std::string name;
  std::function<void(std::vector<Bytes>&)> edit;
};

class NonCanonicalTicket : public ::testing::TestWithParam<EditCase> {};

// Each edit yields bytes that a protobuf decoder accepts but that are not the one
// canonical form, so the ticket must be refused as NonCanonical (never Decode).
TEST_P(NonCanonicalTicket, DecodesButIsRefused) {
  std::vector<Bytes> fields = split_fields(encode_session_ticket(valid_ticket()));
  GetParam().edit(fields);
  const Bytes payload = join(fields);
  ASSERT_TRUE(decode_session_ticket(payload).has_value());
  const auto result = decode_canonical_session_ticket(payload);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind, ProtocolErrorKind::kNonCanonical) << to_string(result.error());
}

void insert_before(std::vector<Bytes>& fields, std::uint8_t key, Bytes field) {
  fields.insert(fields.begin() + static_cast<std::ptrdiff_t>(index_of_key(fields, key)),
                std::move(field));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, NonCanonicalTicket,
    ::testing::Values(
        EditCase{"FieldsSwapped",
                 [](auto& f) { std::swap(f[index_of_key(f, 0x5a)], f[index_of_key(f, 0x0a)]); }},
        EditCase{"NonceRepeated",
                 [](auto& f) {
                   const std::size_t i = index_of_key(f, 0x5a);
                   f.insert(f.begin() + static_cast<std::ptrdiff_t>(i), f[i]);
                 }},
        EditCase{"UnknownField16",
                 [](auto& f) {
                   f.push_back({0x80, 0x01, 0x07});
                 }},
        EditCase{"UnknownFieldInBinding",
                 [](auto& f) {
                   Bytes& requester = f[index_of_key(f, 0x12)];
                   requester.insert(requester.end(), {0x18, 0x01});
                   requester[1] = static_cast<std::uint8_t>(requester[1] + 2);
                 }},
        EditCase{"ExplicitDefaultRole",
                 [](auto& f) {
                   f[index_of_key(f, 0x20)] = {0x20, 0x00};
                 }},
        EditCase{"EmptyNonceWrittenOut",
                 [](auto& f) {
                   f[index_of_key(f, 0x5a)] = {0x5a, 0x00};
                 }},
        EditCase{"PaddedExpiryVarint",
                 [](auto& f) {
                   Bytes& expiry = f[index_of_key(f, 0x50)];
                   expiry.back() |= 0x80;
                   expiry.push_back(0x00);
                 }},
        EditCase{"PaddedLengthVarint",
                 [](auto& f) {
                   Bytes& nonce = f[index_of_key(f, 0x5a)];
                   nonce[1] |= 0x80;
                   nonce.insert(nonce.begin() + 2, 0x00);
                 }},
        EditCase{"PaddedKeyVarint",
                 [](auto& f) {
                   Bytes& id = f[index_of_key(f, 0x0a)];
                   id[0] = 0x8a;
                   id.insert(id.begin() + 1, 0x00);
                 }},
        EditCase{"UnpackedPermissions",
                 [](auto& f) { f[index_of_key(f, 0x2a)] = {0x28, 0x01, 0x28, 0x03, 0x28, 0x04}; }},
        EditCase{"EmptyPackedPermissionsAdded",
                 [](auto& f) {
                   insert_before(f, 0x32, {0x2a, 0x00});
                 }},
        EditCase{"NegativeRoleInFiveBytes",
                 [](auto& f) { f[index_of_key(f, 0x20)] = {0x20, 0xff, 0xff, 0xff, 0xff, 0x0f}; }},
        EditCase{"ProtocolMajorAbove32Bits",
                 [](auto& f) { f[index_of_key(f, 0x60)] = {0x60, 0x81, 0x80, 0x80, 0x80, 0x10}; }},
        EditCase{"RequesterSplitAndMerged",
                 [](auto& f) {
                   // The same binding, sent as two partial bindings that merge.
                   Bytes& requester = f[index_of_key(f, 0x12)];
                   const Bytes device(requester.begin() + 2, requester.begin() + 2 + 18);
                   const Bytes print(requester.begin() + 2 + 18, requester.end());
                   Bytes split{0x12, 18};
                   split.insert(split.end(), device.begin(), device.end());
                   split.insert(split.end(), {0x12, 34});
                   split.insert(split.end(), print.begin(), print.end());
                   requester = split;
                 }}),
    testing::CaseName{});

struct DecodeFailureCase {
  std::string name;
  std::string hex;
  std::string where;  // part of the decoder's text
};

class UndecodableTicket : public ::testing::TestWithParam<DecodeFailureCase> {};

TEST_P(UndecodableTicket, FailsWithDecodeNamingTheField) {
  const Bytes payload = from_hex(GetParam().hex);
  const auto result = decode_canonical_session_ticket(payload);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind, ProtocolErrorKind::kDecode);
  EXPECT_NE(result.error().decoder_text.find(GetParam().where), std::string::npos)
      << result.error().decoder_text;
}

INSTANTIATE_TEST_SUITE_P(
    Wire, UndecodableTicket,
    ::testing::Values(
        DecodeFailureCase{"TruncatedKey", "80", "SessionTicket.key"},
        DecodeFailureCase{"WireType6", "0e", "SessionTicket.key"},
        DecodeFailureCase{"KeyAbove32Bits", "8280808010", "key above 32 bits"},
        DecodeFailureCase{"FieldNumberZero", "0200", "field number 0"},
        DecodeFailureCase{"VarintOfElevenBytes", "488080808080808080808001", "issued_at"},
        DecodeFailureCase{"VarintAbove64Bits", "48ffffffffffffffffff02", "issued_at"},
        DecodeFailureCase{"LengthPastEnd", "0a0501", "SessionTicket.session_id"},
        DecodeFailureCase{"BytesFieldAsVarint", "0801", "session_id: wrong wire type"},
        DecodeFailureCase{"PermissionsAsFixed32", "2d01000000", "permissions: wrong wire type"},
        DecodeFailureCase{"InvalidUtf8DisplayId", "3a02c328", "display_id: text is not valid"},
        DecodeFailureCase{"SurrogateInEntitlement", "3203eda080", "entitlements"},
        DecodeFailureCase{"TruncatedPackedRun", "2a0180", "permissions"},
        DecodeFailureCase{"BrokenBinding", "12020a05", "DeviceBinding.device_id"},
        DecodeFailureCase{"BindingFieldWrongType", "12021000", "DeviceBinding.identity_key"},
        DecodeFailureCase{"StrayEndGroup", "8401", "end-group key without a group"},
        DecodeFailureCase{"UnmatchedEndGroup", "83018c01", "end-group key of another field"},
        DecodeFailureCase{"UnterminatedGroup", "830108 01", "group without"},
        DecodeFailureCase{"TruncatedFixed64", "8101000000", "fixed-width"}),
    testing::CaseName{});

// A run of `depth` nested groups of field 16, closed again.
Bytes nested_groups(std::size_t depth) {
  Bytes bytes;
  for (std::size_t i = 0; i < depth; ++i) bytes.insert(bytes.end(), {0x83, 0x01});
  for (std::size_t i = 0; i < depth; ++i) bytes.insert(bytes.end(), {0x84, 0x01});
  return bytes;
}

TEST(SessionTicketDecoding, LimitsGroupNestingToOneHundred) {
  EXPECT_EQ(decode_canonical_session_ticket(nested_groups(100)).error().kind,
            ProtocolErrorKind::kNonCanonical);
  EXPECT_EQ(decode_canonical_session_ticket(nested_groups(101)).error().kind,
            ProtocolErrorKind::kDecode);
}

TEST(SessionTicketDecoding, EmbeddedBindingSpendsOneLevel) {
  const auto in_binding = [](std::size_t depth) {
    const Bytes groups = nested_groups(depth);
    Bytes bytes{0x12};
    bytes.insert(bytes.end(), {static_cast<std::uint8_t>(0x80 | (groups.size() & 0x7f)),
                               static_cast<std::uint8_t>(groups.size() >> 7)});
    bytes.insert(bytes.end(), groups.begin(), groups.end());
    return decode_session_ticket(bytes);
  };
  EXPECT_TRUE(in_binding(99).has_value());
  EXPECT_FALSE(in_binding(100).has_value());
}

TEST(SessionTicketDecoding, FollowsProtobufMergeRules) {
  // nonce twice (last wins), requester in two parts (merged), permissions packed
  // and single (appended), unknown fields of every wire type (skipped).
  const Bytes payload = from_hex(
      "5a0111"
      "1203 0a0101"
      "5a0122"
      "1203 120102"
      "2a020102 2803"
      "9001 05 9901 0102030405060708 a201 00 a301 a401 ad01 01020304"
      "1203 0a0109");
  const auto ticket = decode_session_ticket(payload);
  ASSERT_TRUE(ticket.has_value()) << to_string(ticket.error());
  EXPECT_EQ(ticket->nonce, Bytes{0x22});
  ASSERT_TRUE(ticket->requester.has_value());
  EXPECT_EQ(ticket->requester->device_id, Bytes{0x09});
  EXPECT_EQ(ticket->requester->identity_key_fingerprint_sha256, Bytes{0x02});
  EXPECT_EQ(ticket->permissions, (std::vector<std::int32_t>{1, 2, 3}));
  EXPECT_FALSE(ticket->target.has_value());
  EXPECT_EQ(decode_canonical_session_ticket(payload).error().kind,
            ProtocolErrorKind::kNonCanonical);
}

// A ticket padded through display_id to an exact encoded size.
Bytes ticket_of_size(std::size_t size) {
  SessionTicket ticket = valid_ticket();
  ticket.display_id.clear();
  const std::size_t base = encode_session_ticket(ticket).size();
  ticket.display_id.assign(size - base - 3, 'x');  // key and a two-byte length
  return encode_session_ticket(ticket);
}

TEST(SessionTicketDecoding, AcceptsExactly4096Bytes) {
  const Bytes at_limit = ticket_of_size(4096);
  ASSERT_EQ(at_limit.size(), 4096u);
  EXPECT_TRUE(decode_canonical_session_ticket(at_limit).has_value());

  const Bytes over = ticket_of_size(4097);
  ASSERT_EQ(over.size(), 4097u);
  const auto result = decode_canonical_session_ticket(over);
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), ProtocolError::too_large(FieldLabel::kTicketPayload, 4096));
}

TEST(SessionTicketDecoding, RefusesOversizedPayloadBeforeDecoding) {
  const Bytes garbage(4097, 0xff);  // undecodable, yet refused for its size
  EXPECT_EQ(decode_canonical_session_ticket(garbage).error().kind, ProtocolErrorKind::kTooLarge);
}

}  // namespace
}  // namespace ombrelin::protocol
