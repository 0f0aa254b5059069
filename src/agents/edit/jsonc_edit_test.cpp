#include "agents/edit/jsonc_edit.h"

#include <gtest/gtest.h>

namespace vesk::agents::edit {
namespace {

const std::string kPath[] = {"mcpServers", "vesk"};

OrderedJson entry() {
  OrderedJson v = OrderedJson::object();
  v["command"] = "/v";
  v["args"] = OrderedJson::array({"mcp"});
  return v;
}

// The entry as a new member writes it, under an indentation.
std::string block(const std::string& indent, const std::string& unit, const std::string& eol) {
  return "{" + eol + indent + unit + "\"command\": \"/v\"," + eol + indent + unit +
         "\"args\": [\"mcp\"]" + eol + indent + "}";
}

struct Case {
  const char* name;
  std::string before;
  std::string after;  // of setting the entry
  bool gives_back = true;  // removing it again gives `before` back
  JsonDialect dialect = JsonDialect::kJsonc;
};

TEST(JsoncEdit, SetAndRemoveKeepEveryOtherByte) {
  const std::string b4 = block("    ", "  ", "\n");
  const Case cases[] = {
      {"empty", "", "{\n  \"mcpServers\": {\n    \"vesk\": " + b4 + "\n  }\n}\n", false},
      {"blank", " \n", " \n{\n  \"mcpServers\": {\n    \"vesk\": " + b4 + "\n  }\n}\n", false},
      {"only a comment", "\t// mine",
       "\t// mine\n{\n\t\"mcpServers\": {\n\t\t\"vesk\": " + block("\t\t", "\t", "\n") +
           "\n\t}\n}\n",
       false},
      {"empty object", "{}", "{\"mcpServers\": {\"vesk\": {\"command\": \"/v\", \"args\": [\"mcp\"]}}}", false},
      {"comments and trailing commas",
       "{\n  // servers\n  \"mcpServers\": {\n    \"a\": {\"command\": \"x\"}, /* trailing */\n  },\n}\n",
       "{\n  // servers\n  \"mcpServers\": {\n    \"a\": {\"command\": \"x\"}, /* trailing */\n"
       "    \"vesk\": " + b4 + ",\n  },\n}\n"},
      {"a comment after the last member",
       "{\n  \"mcpServers\": {\n    \"a\": 1 // the first\n  }\n}",
       "{\n  \"mcpServers\": {\n    \"a\": 1, // the first\n    \"vesk\": " + b4 + "\n  }\n}"},
      {"byte-order mark, CRLF and tabs",
       "\xEF\xBB\xBF{\r\n\t\"mcpServers\": {\r\n\t\t\"a\": 1\r\n\t}\r\n}\r\n",
       "\xEF\xBB\xBF{\r\n\t\"mcpServers\": {\r\n\t\t\"a\": 1,\r\n\t\t\"vesk\": " +
           block("\t\t", "\t", "\r\n") + "\r\n\t}\r\n}\r\n"},
      {"four spaces", "{\n    \"a\": 1\n}",
       "{\n    \"a\": 1,\n    \"mcpServers\": {\n        \"vesk\": " + block("        ", "    ", "\n") +
           "\n    }\n}",
       false},
      {"vesk in a comment or a string is no member",
       "{\"note\": \"vesk\", /* \"vesk\": 1 */ \"mcpServers\": {\"a\": 1}}",
       "{\"note\": \"vesk\", /* \"vesk\": 1 */ \"mcpServers\": {\"a\": 1, \"vesk\": {\"command\": "
       "\"/v\", \"args\": [\"mcp\"]}}}"},
      {"the key with another shape", "{\n  \"mcpServers\": {\n    \"vesk\": \"old\" // mine\n  }\n}",
       "{\n  \"mcpServers\": {\n    \"vesk\": " + b4 + " // mine\n  }\n}", false},
      {"an entry starting another program",
       "{\n  \"mcpServers\": {\n    \"vesk\": {\"command\": \"/old/vesk\", \"args\": [\"mcp\"]}\n  }\n}",
       "{\n  \"mcpServers\": {\n    \"vesk\": " + b4 + "\n  }\n}", false},
      {"servers that are no object", "{\"mcpServers\": [1]}",
       "{\"mcpServers\": {\"vesk\": {\"command\": \"/v\", \"args\": [\"mcp\"]}}}", false},
      {"a lone surrogate elsewhere", "{\"x\": \"\\ud83d\", \"mcpServers\": {\"a\": 1}}",
       "{\"x\": \"\\ud83d\", \"mcpServers\": {\"a\": 1, \"vesk\": {\"command\": \"/v\", \"args\": "
       "[\"mcp\"]}}}"},
      {"strict JSON", "{\n  \"mcpServers\": {\n  }\n}",
       "{\n  \"mcpServers\": {\n    \"vesk\": " + b4 + "\n  }\n}", false, JsonDialect::kStrict},
      {"comments without trailing commas", "{\n  \"mcpServers\": {\n    \"a\": 1 // the first\n  }\n}",
       "{\n  \"mcpServers\": {\n    \"a\": 1, // the first\n    \"vesk\": " + b4 + "\n  }\n}", true,
       JsonDialect::kComments},
  };
  for (const Case& c : cases) {
    auto set = jsonc_set_member(c.before, kPath, entry(), c.dialect);
    ASSERT_TRUE(set) << c.name << ": " << set.message();
    EXPECT_EQ(*set, c.after) << c.name;
    // The new text reads back with the entry in it.
    auto read = jsonc_member(*set, kPath, c.dialect);
    ASSERT_TRUE(read && *read) << c.name;
    EXPECT_EQ(**read, Json::parse(entry().dump())) << c.name;
    auto removed = jsonc_remove_member(*set, kPath, c.dialect);
    ASSERT_TRUE(removed && *removed) << c.name;
    if (c.gives_back) {
      EXPECT_EQ(**removed, c.before) << c.name;
    }
    auto gone = jsonc_member(**removed, kPath, c.dialect);
    ASSERT_TRUE(gone) << c.name;
    EXPECT_FALSE(*gone) << c.name;
  }
}

TEST(JsoncEdit, RemovingTakesTheCommaAndTheLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"{\n  \"mcpServers\": {\n    \"vesk\": {\"command\": \"/v\"},\n    \"b\": 2\n  }\n}",
       "{\n  \"mcpServers\": {\n    \"b\": 2\n  }\n}"},
      {"{\"mcpServers\": {\"vesk\": 1, \"b\": 2}}", "{\"mcpServers\": {\"b\": 2}}"},
      {"{\"mcpServers\": {\"a\": 1, \"vesk\": 2}}", "{\"mcpServers\": {\"a\": 1}}"},
      // An emptied object stays.
      {"{\n  \"mcpServers\": {\n    \"vesk\": 1\n  }\n}", "{\n  \"mcpServers\": {\n  }\n}"},
      {"{\n  \"mcpServers\": {\n    \"a\": 1, // keep\n    \"vesk\": 1\n  }\n}",
       "{\n  \"mcpServers\": {\n    \"a\": 1 // keep\n  }\n}"},
  };
  for (const auto& [before, after] : cases) {
    auto removed = jsonc_remove_member(before, kPath, JsonDialect::kJsonc);
    ASSERT_TRUE(removed && *removed) << before;
    EXPECT_EQ(**removed, after);
  }
  for (std::string absent : {"", "{}", "{\"vesk\": 1}", "{\"mcpServers\": 1}",
                             "{\"mcpServers\": {\"a\": \"vesk\"}} // \"vesk\": 1"}) {
    auto removed = jsonc_remove_member(absent, kPath, JsonDialect::kJsonc);
    ASSERT_TRUE(removed) << absent;
    EXPECT_FALSE(*removed) << absent;
  }
}

TEST(JsoncEdit, WhatCannotBeParsedIsRefused) {
  const std::tuple<std::string, JsonDialect, std::string> cases[] = {
      {"{\"a\": 1 // c\n}", JsonDialect::kStrict,
       " has a comment (line 1, column 9), which its reader doesn't allow, so I left it alone"},
      {"{\"a\": 1,}", JsonDialect::kStrict,
       " has a trailing comma (line 1, column 8), which its reader can't read, so I left it alone"},
      // Comments allowed, trailing commas not: in an object, and in a list.
      {"{\n  // mine\n  \"a\": 1 , /* c */\n}", JsonDialect::kComments,
       " has a trailing comma (line 3, column 10), which its reader can't read, so I left it alone"},
      {"{\"a\": [1,\n]}", JsonDialect::kComments,
       " has a trailing comma (line 1, column 9), which its reader can't read, so I left it alone"},
      {"[1]", JsonDialect::kJsonc, " isn't a JSON object, so I left it alone"},
      {"{\"a\": }", JsonDialect::kJsonc,
       " isn't valid JSON (line 1, column 7: something that is no JSON value), so I left it alone"},
      {"{\"a\": 1} x", JsonDialect::kJsonc,
       " isn't valid JSON (line 1, column 10: more text after the end), so I left it alone"},
      {"{\n/* open", JsonDialect::kJsonc,
       " isn't valid JSON (line 2, column 1: a comment that never ends), so I left it alone"},
      {"{\"a\": \"\xFF\"}", JsonDialect::kJsonc, " isn't UTF-8 text, so I left it alone"},
      {"{\"mcpServers\": {\"vesk\": 1, \"vesk\": 2}}", JsonDialect::kJsonc,
       " has \"vesk\" twice in one object, so I left it alone"},
      {std::string(300, '[') , JsonDialect::kJsonc,
       " is nested too deeply to edit safely, so I left it alone"},
  };
  for (const auto& [text, dialect, message] : cases) {
    auto set = jsonc_set_member(text, kPath, entry(), dialect);
    ASSERT_FALSE(set) << text;
    EXPECT_EQ(set.message(), message) << text;
    auto removed = jsonc_remove_member(text, kPath, dialect);
    ASSERT_FALSE(removed) << text;
    EXPECT_EQ(removed.message(), message);
  }
}

}  // namespace
}  // namespace vesk::agents::edit
