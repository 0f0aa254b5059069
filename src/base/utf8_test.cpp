#include "base/utf8.h"

#include <gtest/gtest.h>

#include "base/json.h"

namespace vesk {
namespace {

TEST(Utf8, Validation) {
  const std::pair<std::string, bool> rows[] = {
      {"", true},
      {"plain", true},
      {"\xC2\xB7 \xE2\x89\x88 \xF0\x9F\x98\x80", true},
      {"\xEF\xBF\xBD", true},           // a real U+FFFD
      {"\xC0\xAF", false},              // overlong
      {"\xED\xA0\x80", false},          // surrogate
      {"\xF4\x90\x80\x80", false},      // above U+10FFFF
      {"\xE2\x89", false},              // cut short
      {"\x80", false},
  };
  for (const auto& [text, valid] : rows) EXPECT_EQ(valid_utf8(text), valid) << text;
}

TEST(Utf8, Utf16RoundTripAndLoneSurrogates) {
  EXPECT_EQ(utf16_to_utf8(u"a\u00b7\u2026"), "a\xC2\xB7\xE2\x80\xA6");
  EXPECT_EQ(utf16_to_utf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  const char16_t lone_high[] = {u'x', 0xD800, u'y', 0};
  EXPECT_EQ(utf16_to_utf8(lone_high), "x\xEF\xBF\xBDy");
  const char16_t lone_low[] = {0xDC00, 0};
  EXPECT_EQ(utf16_to_utf8(lone_low), "\xEF\xBF\xBD");
  EXPECT_EQ(utf8_to_utf16("\xF0\x9F\x98\x80\xFF"), (std::u16string{0xD83D, 0xDE00, 0xFFFD}));
}

TEST(Json, StrictParsing) {
  EXPECT_EQ(parse_json(" {\"a\":1}\n"), (Json{{"a", 1}}));
  EXPECT_EQ(parse_json("true"), Json(true));
  const char* rejected[] = {
      "", "{", "{\"a\":1} x", "\xEF\xBB\xBF{}", "{\"a\":\"\xC0\xAF\"}", "{} {}", "/*c*/{}",
  };
  for (const char* text : rejected) EXPECT_FALSE(parse_json(text).has_value()) << text;
}

TEST(Json, NestingDepth) {
  EXPECT_EQ(json_nesting_depth("[[{}]]", 10), 3);
  EXPECT_EQ(json_nesting_depth("[[{}]]", 2), 3);  // stops past the limit
  EXPECT_EQ(json_nesting_depth("[[],[],{}]", 10), 2);
  EXPECT_EQ(json_nesting_depth(R"(["[[[[", {"k[{": "\"[[[["}])", 10), 2);
  EXPECT_EQ(json_nesting_depth(R"(["\\", [[]]])", 10), 3);
  EXPECT_EQ(json_nesting_depth("]]]][[", 10), 2);
  EXPECT_TRUE(parse_json(std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']')));
  EXPECT_FALSE(parse_json(std::string(kMaxJsonDepth + 1, '[') +
                          std::string(kMaxJsonDepth + 1, ']')));
  EXPECT_FALSE(parse_json(std::string(100000, '{')));
}

TEST(Json, WritesSortedKeysAndFloats) {
  Json v = {{"minutes", 30.0}, {"b", nullptr}, {"a", {{"z", 1}, {"y", 2.5}}}};
  EXPECT_EQ(compact_json(v), R"({"a":{"y":2.5,"z":1},"b":null,"minutes":30.0})");
  EXPECT_EQ(pretty_json(Json{{"k", Json::array({1})}}), "{\n  \"k\": [\n    1\n  ]\n}");
  EXPECT_EQ(compact_json(Json("\xFF")), "\"\xEF\xBF\xBD\"");  // never throws
}

}  // namespace
}  // namespace vesk
