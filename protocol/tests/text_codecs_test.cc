#include "ombrelin/protocol/text_codecs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ombrelin::protocol {
namespace {

TEST(LowerHexToken, AcceptsOnlyThirtyTwoLowercaseDigits) {
  EXPECT_TRUE(is_lower_hex_token("0123456789abcdef0123456789abcdef"));
  EXPECT_FALSE(is_lower_hex_token("0123456789abcdef0123456789abcde"));
  EXPECT_FALSE(is_lower_hex_token("0123456789abcdef0123456789abcdef0"));
  EXPECT_FALSE(is_lower_hex_token("0123456789ABCDEF0123456789abcdef"));
  EXPECT_FALSE(is_lower_hex_token("0123456789abcdeg0123456789abcdef"));
  EXPECT_FALSE(is_lower_hex_token(""));
}

TEST(LowerHex, EncodesHighNibbleFirst) {
  const std::vector<std::uint8_t> bytes{0x00, 0x0f, 0xa5, 0xff};
  EXPECT_EQ(encode_lower_hex(bytes), "000fa5ff");
}

struct Base64Case {
  std::string text;
  std::size_t limit;
  bool accepted;
};

class Base64UrlCanonical : public ::testing::TestWithParam<Base64Case> {};

TEST_P(Base64UrlCanonical, AcceptsOnlyTheCanonicalSpelling) {
  const auto& c = GetParam();
  const auto decoded = decode_base64url_canonical(c.text, c.limit);
  ASSERT_EQ(decoded.has_value(), c.accepted) << c.text;
  if (decoded) {
    EXPECT_EQ(encode_base64url(*decoded), c.text);
  }
}

// 32 bytes 0..31 encode to 43 characters ending in "8"; 33 bytes to 44.
const std::string k32 = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8";
const std::string k31 = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHg";
const std::string k33 = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8g";

INSTANTIATE_TEST_SUITE_P(
    Cases, Base64UrlCanonical,
    ::testing::Values(Base64Case{k32, 32, true}, Base64Case{k31, 32, true},
                      Base64Case{k33, 32, false},  // over the limit inside the decoder
                      Base64Case{k33, 4096, true},
                      Base64Case{"AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh9", 32,
                                 false},                 // data-free bits set in the last character
                      Base64Case{k32 + "=", 32, false},  // correct padding is still padding
                      Base64Case{"", 32, false}, Base64Case{"A", 32, false},
                      Base64Case{"AAAAA", 32, false},  // length 4k + 1
                      Base64Case{"AA+/", 32, false},   // standard alphabet
                      Base64Case{"AA A", 32, false}, Base64Case{"AA\nA", 32, false},
                      Base64Case{"-_-_", 32, true}, Base64Case{"AA", 32, true},
                      Base64Case{"AB", 32, false},
                      // Bytes of 0x80 and above must not pass as alphabet characters.
                      Base64Case{"AAA\xab", 32, false}, Base64Case{"AA\xc3\xa9", 32, false}));

TEST(Uuid, ParsesAndFormatsTheCanonicalText) {
  const std::string text = "123e4567-e89b-42d3-a456-426614174000";
  const auto bytes = parse_uuid_text(text);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ((*bytes)[0], 0x12);
  EXPECT_EQ((*bytes)[15], 0x00);
  EXPECT_EQ(format_uuid_text(*bytes), text);
}

class UuidRefused : public ::testing::TestWithParam<std::string> {};

TEST_P(UuidRefused, IsRefused) { EXPECT_FALSE(parse_uuid_text(GetParam()).has_value()); }

INSTANTIATE_TEST_SUITE_P(
    Cases, UuidRefused,
    ::testing::Values("123E4567-E89B-42D3-A456-426614174000",   // uppercase
                      "{123e4567-e89b-42d3-a456-42661417400}",  // braces
                      "123e4567e89b42d3a456426614174000",       // no hyphens
                      "123e4567-e89b-02d3-a456-426614174000",   // version 0
                      "123e4567-e89b-92d3-a456-426614174000",   // version 9
                      "123e4567-e89b-42d3-c456-426614174000",   // variant c
                      "00000000-0000-0000-0000-000000000000",   // all zero
                      "123e4567-e89b-42d3-a456-42661417400",    // 35 characters
                      "123e4567-e89b-42d3-a456-4266141740000",  // 37 characters
                      "123e4567-e89b-42d3-a456-42661417400g",
                      // A hyphen where a digit belongs, wherever it stands: each
                      // identifier has one spelling only.
                      "123e4567-e89b-42d3-a456-4266141740-0",
                      "123e4567-e89b-42d3-a456-42661417400-",
                      "-23e4567-e89b-42d3-a456-426614174000",
                      "123e-567-e89b-42d3-a456-426614174000",
                      "123e4567-e89b-42d3-a456--26614174000"));

// Whatever is accepted formats back to exactly the text it was read from.
TEST(Uuid, EveryAcceptedTextIsTheCanonicalOne) {
  const std::string canonical = "123e4567-e89b-42d3-a456-426614174000";
  const std::string alphabet = "0123456789abcdefABCDEF-{}g ";
  for (std::size_t at = 0; at < canonical.size(); ++at) {
    for (const char c : alphabet) {
      std::string text = canonical;
      text[at] = c;
      if (const auto bytes = parse_uuid_text(text)) {
        EXPECT_EQ(format_uuid_text(*bytes), text);
      }
    }
  }
}

}  // namespace
}  // namespace ombrelin::protocol
