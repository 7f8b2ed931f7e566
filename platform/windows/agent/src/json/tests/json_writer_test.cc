#include "json/json_writer.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace ombrelin::json {
namespace {

struct EscapeCase {
  std::string text;
  std::string written;  // without the surrounding quotation marks
};

class JsonWriterEscapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(JsonWriterEscapes, WritesStringsAsTheExtensionExpects) {
  JsonWriter writer;
  writer.string(GetParam().text);
  ASSERT_FALSE(writer.failed());
  EXPECT_EQ(std::move(writer).take(), "\"" + GetParam().written + "\"");
}

INSTANTIATE_TEST_SUITE_P(
    Characters, JsonWriterEscapes,
    ::testing::Values(EscapeCase{"", ""}, EscapeCase{"plain", "plain"},
                      EscapeCase{"a\"b", "a\\\"b"}, EscapeCase{"a\\b", "a\\\\b"},
                      EscapeCase{"\b\t\n\f\r", "\\b\\t\\n\\f\\r"},
                      EscapeCase{std::string(1, '\0'), "\\u0000"},
                      EscapeCase{"\x01\x07\x0b\x0e", "\\u0001\\u0007\\u000b\\u000e"},
                      EscapeCase{"\x1a\x1f", "\\u001a\\u001f"},
                      EscapeCase{" ~\x7f", " ~\x7f"},  // DEL is not a JSON control
                      EscapeCase{"a/b</script>", "a/b</script>"},
                      EscapeCase{"\xC2\x85\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
                                 "\xC2\x85\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
                      EscapeCase{"\xE2\x80\xA8", "\xE2\x80\xA8"}));

class JsonWriterRefusesText : public ::testing::TestWithParam<std::string> {};

TEST_P(JsonWriterRefusesText, InvalidUtf8LatchesFailure) {
  JsonWriter as_value;
  as_value.begin_array();
  as_value.string(GetParam());
  as_value.string("fine");  // a later valid write does not clear the failure
  as_value.end_array();
  EXPECT_TRUE(as_value.failed());

  JsonWriter as_key;
  as_key.begin_object();
  as_key.key(GetParam());
  as_key.null();
  as_key.end_object();
  EXPECT_TRUE(as_key.failed());
}

INSTANTIATE_TEST_SUITE_P(Bytes, JsonWriterRefusesText,
                         ::testing::Values("\xFF", "a\xC3", "\xC0\xAF", "\xED\xA0\x80",
                                           "\xF4\x90\x80\x80", "\x80"));

TEST(JsonWriter, WritesCompactNestedValues) {
  JsonWriter writer;
  writer.begin_object();
  writer.key("a");
  writer.begin_array();
  writer.unsigned_integer(0);
  writer.unsigned_integer(std::numeric_limits<std::uint64_t>::max());
  writer.signed_integer(std::numeric_limits<std::int64_t>::min());
  writer.signed_integer(-1);
  writer.begin_object();
  writer.end_object();
  writer.begin_array();
  writer.end_array();
  writer.end_array();
  writer.key("b\n");
  writer.boolean(false);
  writer.key("c");
  writer.null();
  writer.end_object();
  ASSERT_FALSE(writer.failed());
  EXPECT_EQ(std::move(writer).take(),
            R"({"a":[0,18446744073709551615,-9223372036854775808,-1,{},[]],"b\n":false,"c":null})");
}

TEST(JsonWriter, UnbalancedStructureFails) {
  JsonWriter close_without_open;
  close_without_open.end_array();
  EXPECT_TRUE(close_without_open.failed());

  JsonWriter key_without_value;
  key_without_value.begin_object();
  key_without_value.key("k");
  key_without_value.end_object();
  EXPECT_TRUE(key_without_value.failed());
}

}  // namespace
}  // namespace ombrelin::json
