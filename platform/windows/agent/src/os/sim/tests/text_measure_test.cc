// The simulated desktop's fixed-width text measure, which the indicator's
// layout relies on in every process-level test.

#include "os/sim/text_measure.h"

#include <gtest/gtest.h>

#include <string>

namespace ombrelin::os::sim {
namespace {

struct MeasureCase {
  std::string name;
  std::string text;
  std::int32_t width;
  TextLayout layout;
  TextSize size;
};

void PrintTo(const MeasureCase& test, std::ostream* out) { *out << test.name; }

class FixedWidth : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(FixedWidth, Measures) {
  EXPECT_EQ(measure_fixed_width(GetParam().text, GetParam().width, GetParam().layout),
            GetParam().size);
}

constexpr TextLayout kOneLine = TextLayout::kOneLine;
constexpr TextLayout kWrapped = TextLayout::kWordWrapped;

INSTANTIATE_TEST_SUITE_P(
    Texts, FixedWidth,
    ::testing::Values(
        MeasureCase{"OneLineIgnoresTheWidth", "aaaa bbbb cccc", 70, kOneLine, {98, 16}},
        MeasureCase{"CharactersNotBytes", "\u00e9\u540d\u2026", 70, kOneLine, {21, 16}},
        MeasureCase{"Empty", "", 70, kWrapped, {0, 16}},
        MeasureCase{"FitsItsWidth", "aaaa bbbbb", 70, kWrapped, {70, 16}},
        MeasureCase{"BrokenBeforeTheWordThatPasses", "aaaa bbbb cccc", 70, kWrapped, {63, 32}},
        MeasureCase{"SpacesAtABreakTakeNoRoom", "aaaa     bbbbbbbbb", 70, kWrapped, {63, 32}},
        MeasureCase{"LeadingSpacesStay", "  ab", 70, kWrapped, {28, 16}},
        MeasureCase{"AWordWiderThanTheWidthWidens", "aaaaaaaaaaaaaaa bb", 70, kWrapped, {105, 32}},
        MeasureCase{"LineBreaks", "a\r\nbb\rccc\nd", 70, kWrapped, {21, 64}},
        MeasureCase{"EmptyLines", "a\r\n\r\nb", 70, kWrapped, {7, 48}}),
    [](const auto& test) { return test.param.name; });

}  // namespace
}  // namespace ombrelin::os::sim
