#include "ombrelin/protocol/unicode_text.h"

#include <gtest/gtest.h>

#include <string>

namespace ombrelin::protocol {
namespace {

struct TrimCase {
  std::string text;
  std::string trimmed;
};

class TrimUnicodeWhiteSpace : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimUnicodeWhiteSpace, RemovesWhiteSpaceAtBothEndsOnly) {
  EXPECT_EQ(trim_unicode_white_space(GetParam().text), GetParam().trimmed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimUnicodeWhiteSpace,
    ::testing::Values(TrimCase{"", ""}, TrimCase{"   ", ""}, TrimCase{" a b ", "a b"},
                      TrimCase{"\xC2\xA0x\xE3\x80\x80", "x"},    // no-break and ideographic space
                      TrimCase{"\xE2\x80\xA8\xE2\x80\x89", ""},  // line separator, thin space
                      TrimCase{"\xE2\x80\x8B",
                               "\xE2\x80\x8B"},              // zero width space is not White_Space
                      TrimCase{"\t\n\v\f\rk\x85", "k\x85"},  // a lone 0x85 byte is not U+0085
                      TrimCase{"\xC2\x85k\xC2\x85", "k"}));

TEST(ControlCharacters, FindsC0AndC1ControlsAnywhere) {
  EXPECT_FALSE(contains_control_character("Caf\xC3\xA9 \xE6\x9D\xB1"));
  EXPECT_TRUE(contains_control_character(std::string("a\0b", 3)));
  EXPECT_TRUE(contains_control_character("name\n"));
  EXPECT_TRUE(contains_control_character("\x7F"));
  EXPECT_TRUE(contains_control_character("x\xC2\x9F"));   // U+009F
  EXPECT_FALSE(contains_control_character("x\xC2\xA0"));  // U+00A0
}

}  // namespace
}  // namespace ombrelin::protocol
