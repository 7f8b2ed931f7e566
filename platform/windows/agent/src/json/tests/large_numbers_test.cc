#include "json/large_numbers.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ombrelin::json {
namespace {

struct RewriteCase {
  std::string text;
  std::optional<std::string> rewritten;  // none: nothing to rewrite
};

class RewriteLargeNumbers : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RewriteLargeNumbers, OnlyNumbersBeyondTheParser) {
  EXPECT_EQ(rewrite_large_numbers(GetParam().text), GetParam().rewritten) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RewriteLargeNumbers,
    ::testing::Values(RewriteCase{"[18446744073709551615,-9223372036854775808,1e308,1e-400]",
                                  std::nullopt},
                      RewriteCase{"[18446744073709551616]", "[18446744073709551616.0]"},
                      RewriteCase{"[-9223372036854775809]", "[-9223372036854775809.0]"},
                      RewriteCase{"{\"x\":1e400,\"y\":-2.5E+999}", "{\"x\":1e300,\"y\":-1e300}"},
                      RewriteCase{"[1" + std::string(400, '0') + "]", "[1e300]"},
                      // Inside strings, escaped quotation marks included, nothing is a number.
                      RewriteCase{R"(["18446744073709551616","\"1e400",1e400])",
                                  R"(["18446744073709551616","\"1e400",1e300])"},
                      // Malformed numbers are left for the parser to refuse.
                      RewriteCase{"[018446744073709551616,1.e400,-]", std::nullopt}));

}  // namespace
}  // namespace ombrelin::json
