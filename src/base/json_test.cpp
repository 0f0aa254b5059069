#include "base/json.h"

#include <gtest/gtest.h>

#include "base/strict_json.h"

namespace vesk {
namespace {

TEST(Json, StrictParsing) {
  EXPECT_EQ(parse_json(" {\"a\":1}\n"), (Json{{"a", 1}}));
  EXPECT_EQ(parse_json("true"), Json(true));
  const char* rejected[] = {
      "", "{", "{\"a\":1} x", "\xEF\xBB\xBF{}", "{\"a\":\"\xC0\xAF\"}", "{} {}", "/*c*/{}",
  };
  for (const char* text : rejected) EXPECT_FALSE(parse_json(text).has_value()) << text;
}

TEST(Json, TextAfterANulByteIsTextAfterTheDocument) {
  // Every reader goes through these: the MCP lines, the tray app's replies,
  // the journals and the agents' files.
  using namespace std::string_view_literals;
  for (std::string_view text : {"{\"a\":1}\0xyz"sv, "{\"a\":1}\0"sv, "\0{}"sv, "{\"a\":\"\0\"}"sv,
                                "[1,\0 2]"sv}) {
    EXPECT_FALSE(parse_json(text).has_value()) << text.size();
    EXPECT_FALSE(parse_strict_json(text, 8).has_value()) << text.size();
  }
  EXPECT_EQ(parse_json(R"({"a":"\u0000"})"), (Json{{"a", std::string(1, '\0')}}));
  EXPECT_EQ(parse_strict_json(R"({"a":"\u0000"})", 8), (Json{{"a", std::string(1, '\0')}}));
}

TEST(Json, NestingDepth) {
  EXPECT_EQ(json_nesting_depth("[[{}]]", 10), 3);
  EXPECT_EQ(json_nesting_depth("[[{}]]", 2), 3);  // stops past the limit
  EXPECT_EQ(json_nesting_depth("[[],[],{}]", 10), 2);
  EXPECT_EQ(json_nesting_depth(R"(["[[[[", {"k[{": "\"[[[["}])", 10), 2);
  EXPECT_EQ(json_nesting_depth(R"(["\\", [[]]])", 10), 3);
  EXPECT_EQ(json_nesting_depth("]]]][[", 10), 2);
  // At the limit a document is read, copied and written back.
  const std::string deepest = std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']');
  auto parsed = parse_json(deepest);
  ASSERT_TRUE(parsed);
  Json copy = *parsed;
  EXPECT_EQ(compact_json(copy), deepest);
  EXPECT_EQ(parse_json(pretty_json(copy)), copy);
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
