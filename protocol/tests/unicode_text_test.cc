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

struct FormatCase {
  std::string name;
  std::string text;
  bool found;
};

class FormatCharacters : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatCharacters, AreFoundAnywhere) {
  EXPECT_EQ(contains_format_character(GetParam().text), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FormatCharacters,
    ::testing::Values(FormatCase{"PlainAndAccented", "Field Support Caf\xC3\xA9", false},
                      FormatCase{"RightToLeftOverride",
                                 "Ann\xE2\x80\xAE"
                                 "gnp.exe",
                                 true},
                      FormatCase{"FirstStrongIsolate", "\xE2\x81\xA8x", true},
                      FormatCase{"ZeroWidthSpace",
                                 "Fi\xE2\x80\x8B"
                                 "eld",
                                 true},
                      FormatCase{"ZeroWidthJoiner", "a\xE2\x80\x8D", true},
                      FormatCase{"SoftHyphen",
                                 "Sup\xC2\xAD"
                                 "port",
                                 true},
                      FormatCase{"ByteOrderMark",
                                 "\xEF\xBB\xBF"
                                 "Ann",
                                 true},
                      FormatCase{"LineSeparator",
                                 "Ann\xE2\x80\xA8"
                                 "Bob",
                                 true},
                      FormatCase{"ParagraphSeparator",
                                 "Ann\xE2\x80\xA9"
                                 "Bob",
                                 true},
                      FormatCase{"TagCharacter", "x\xF3\xA0\x80\x81", true},
                      FormatCase{"HieroglyphFormatControl", "\xF0\x93\x90\xBF", true},
                      // Neighbours of the ranges are ordinary characters.
                      FormatCase{"NarrowNoBreakSpace",
                                 "a\xE2\x80\xAF"
                                 "b",
                                 false},
                      FormatCase{"WordJoinerNeighbour", "\xE2\x81\x9F", false},
                      FormatCase{"Emoji", "\xF0\x9F\x99\x82", false}),
    [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace ombrelin::protocol
