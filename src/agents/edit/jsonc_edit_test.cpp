#include "agents/edit/jsonc_edit.h"

#include <gtest/gtest.h>

namespace vesk::agents::edit {
namespace {

const std::string kPath[] = {"mcpServers", "vesk"};

// The entry as a new member on one line writes it.
const std::string kInline = "{\"command\": \"/v\", \"args\": [\"mcp\"]}";

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
      {"empty", "", "{\n  \"mcpServers\": {\n    \"vesk\": " + b4 + "\n  }\n}\n"},
      {"blank", " \n", " \n{\n  \"mcpServers\": {\n    \"vesk\": " + b4 + "\n  }\n}\n"},
      {"blank without a line break", " ",
       " {\n  \"mcpServers\": {\n    \"vesk\": " + b4 + "\n  }\n}\n"},
      // The same text as after "\t// mine\n": that one comes back.
      {"only a comment", "\t// mine",
       "\t// mine\n{\n\t\"mcpServers\": {\n\t\t\"vesk\": " + block("\t\t", "\t", "\n") +
           "\n\t}\n}\n",
       false},
      {"only a comment and a line break", "\t// mine\n",
       "\t// mine\n{\n\t\"mcpServers\": {\n\t\t\"vesk\": " + block("\t\t", "\t", "\n") +
           "\n\t}\n}\n"},
      {"empty object", "{}", "{\"mcpServers\": { \"vesk\": " + kInline + " }}"},
      {"empty object with a blank", "{ }", "{\"mcpServers\": { \"vesk\": " + kInline + " } }"},
      {"empty servers", "{\"mcpServers\": {}}", "{\"mcpServers\": {\"vesk\": " + kInline + "}}"},
      {"empty servers on their line", "{\n  \"mcpServers\": {}\n}\n",
       "{\n  \"mcpServers\": {\"vesk\": " + kInline + "}\n}\n"},
      {"a comment in empty servers", "{\"mcpServers\": {/* add servers here */}}",
       "{\"mcpServers\": {\"vesk\": " + kInline + "/* add servers here */}}"},
      {"a comment on its line in empty servers",
       "{\n  \"mcpServers\": {\n    // add servers here\n  }\n}",
       "{\n  \"mcpServers\": {\n    \"vesk\": " + b4 + "\n    // add servers here\n  }\n}"},
      {"a comment after the brace of empty servers", "{\n  \"mcpServers\": { // servers\n  }\n}",
       "{\n  \"mcpServers\": { // servers\n    \"vesk\": " + b4 + "\n  }\n}"},
      {"a trailing comma on one line", "{\"a\": 1,}",
       "{\"a\": 1, \"mcpServers\": { \"vesk\": " + kInline + " },}"},
      {"blanks inside the braces", "{ \"a\": 1 }",
       "{ \"a\": 1, \"mcpServers\": { \"vesk\": " + kInline + " } }"},
      {"members sharing a line", "{\"mcpServers\": {\"a\": 1, \"b\": 2}}",
       "{\"mcpServers\": {\"a\": 1, \"b\": 2, \"vesk\": " + kInline + "}}"},
      {"comments around the colon", "{\"a\" /* k */ : /* v */ 1}",
       "{\"a\" /* k */ : /* v */ 1, \"mcpServers\": { \"vesk\": " + kInline + " }}"},
      {"the closing brace after the last member", "{\n  \"mcpServers\": {\n    \"a\": 1 }\n}",
       "{\n  \"mcpServers\": {\n    \"a\": 1,\n    \"vesk\": " + b4 + " }\n}"},
      {"CRLF and tabs, no servers", "{\r\n\t\"a\": 1\r\n}",
       "{\r\n\t\"a\": 1,\r\n\t\"mcpServers\": {\r\n\t\t\"vesk\": " + block("\t\t", "\t", "\r\n") +
           "\r\n\t}\r\n}"},
      {"lone CR line ends", "{\r  \"a\": 1\r}\r",
       "{\r  \"a\": 1,\r  \"mcpServers\": {\r    \"vesk\": " + block("    ", "  ", "\r") +
           "\r  }\r}\r"},
      // A line comment keeps its own line break, whatever the file's first is.
      {"mixed line ends", "{\r  \"mcpServers\": {\r    \"a\": 1 // c\n  }\r}",
       "{\r  \"mcpServers\": {\r    \"a\": 1, // c\n    \"vesk\": " + block("    ", "  ", "\r") +
           "\n  }\r}"},
      // Not a lone CR after the comment; "\r// c\r\n" comes back, as above.
      {"a comment ending a lone CR text", "\r// c",
       "\r// c\r\n{\r  \"mcpServers\": {\r    \"vesk\": " + block("    ", "  ", "\r") + "\r  }\r}\r",
       false},
      {"a CRLF-ended line comment", "{\r\n  \"a\": 1 // x\r\n}\r\n",
       "{\r\n  \"a\": 1, // x\r\n  \"mcpServers\": {\r\n    \"vesk\": " + block("    ", "  ", "\r\n") +
           "\r\n  }\r\n}\r\n",
       true, JsonDialect::kComments},
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
           "\n    }\n}"},
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
       "{\"mcpServers\": { \"vesk\": " + kInline + " }}", false},
      {"a lone surrogate elsewhere", "{\"x\": \"\\ud83d\", \"mcpServers\": {\"a\": 1}}",
       "{\"x\": \"\\ud83d\", \"mcpServers\": {\"a\": 1, \"vesk\": {\"command\": \"/v\", \"args\": "
       "[\"mcp\"]}}}"},
      // The same text as after {\n}: the servers go with the entry.
      {"strict JSON", "{\n  \"mcpServers\": {\n  }\n}",
       "{\n  \"mcpServers\": {\n    \"vesk\": " + b4 + "\n  }\n}", false, JsonDialect::kStrict},
      {"strict JSON, other servers", "{\n  \"mcpServers\": {\n    \"a\": {}\n  }\n}",
       "{\n  \"mcpServers\": {\n    \"a\": {},\n    \"vesk\": " + b4 + "\n  }\n}", true,
       JsonDialect::kStrict},
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
      // A blank text gets back an empty document: a blank file is one that
      // agents reading plain JSON can't read.
      bool blank = c.before.find('{') == std::string::npos;
      if (!blank || **removed != c.before) {
        EXPECT_EQ(**removed, blank ? c.before + "{\n}\n" : c.before) << c.name;
      }
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
      // An emptied object stays, unless the entry's insert could have made it.
      {"{\n  \"mcpServers\": {\n    \"vesk\": {\"command\": \"/v\"}\n  }\n}",
       "{\n  \"mcpServers\": {\n  }\n}"},
      {"{\n  \"mcpServers\": {\n    \"vesk\": 1\n  }\n}", "{\n}"},
      {"{\n  \"mcpServers\": {\n    \"vesk\": 1\n  }\n}\n", "{\n}\n"},
      {"// c\n{\n  \"mcpServers\": {\n    \"vesk\": 1\n  }\n}\n", "// c\n{\n}\n"},
      {"{\"mcpServers\": { \"vesk\": 1 }}", "{}"},
      {"{\"mcpServers\": {\"vesk\": 1}}", "{\"mcpServers\": {}}"},
      // Comments in the emptied object stay.
      {"{\"mcpServers\": {\"vesk\": 1 /* c */}}", "{\"mcpServers\": { /* c */}}"},
      {"{\"mcpServers\": {/* c */ \"vesk\": 1, /* d */}}", "{\"mcpServers\": {/* c */ /* d */}}"},
      {"{\n  \"mcpServers\": {\n    \"vesk\": 1 // c\n  }\n}", "{\n  \"mcpServers\": {\n     // c\n  }\n}"},
      // Lone CR line ends: the member's line goes.
      {"{\r  \"mcpServers\": {\r    \"a\": 1,\r    \"vesk\": [2]\r  }\r}",
       "{\r  \"mcpServers\": {\r    \"a\": 1\r  }\r}"},
      {"{\r  \"mcpServers\": {\r    \"vesk\": [2],\r    \"a\": 1\r  }\r}",
       "{\r  \"mcpServers\": {\r    \"a\": 1\r  }\r}"},
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
      // A line comment ended by a lone CR: its line as editors count lines.
      {"{\n  \"a\": 1, // x\r  \"b\": 2\n}\n", JsonDialect::kJsonc,
       " has a line comment ended by a lone carriage return (line 2), which agents read in "
       "different ways, so I left it alone"},
      {"{\r\n\r\"a\": 1 // x\r\"vesk\": 2\n}", JsonDialect::kComments,
       " has a line comment ended by a lone carriage return (line 3), which agents read in "
       "different ways, so I left it alone"},
      {"// x\r", JsonDialect::kJsonc,
       " has a line comment ended by a lone carriage return (line 1), which agents read in "
       "different ways, so I left it alone"},
      {"{\r\"a\": 1 // c\r}", JsonDialect::kStrict,
       " has a comment (line 2, column 8), which its reader doesn't allow, so I left it alone"},
      {"{\r\"a\": 1,\r\n\r}", JsonDialect::kComments,
       " has a trailing comma (line 2, column 7), which its reader can't read, so I left it alone"},
      {"{\r\r\n\"a\": }", JsonDialect::kJsonc,
       " isn't valid JSON (line 3, column 6: something that is no JSON value), so I left it alone"},
      // JSON.parse takes a byte-order mark for a stray character.
      {"\xEF\xBB\xBF{}", JsonDialect::kComments,
       " starts with a byte-order mark, which its reader can't read, so I left it alone"},
      {"\xEF\xBB\xBF{}", JsonDialect::kStrict,
       " starts with a byte-order mark, which its reader can't read, so I left it alone"},
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

const std::string kStop[] = {"hooks", "Stop"};

// A hook group on one line, as an append writes it there.
const std::string kGroup = "{\"hooks\": [{\"type\": \"command\", \"command\": \"/v\"}]}";

OrderedJson group() {
  OrderedJson hook = OrderedJson::object();
  hook["type"] = "command";
  hook["command"] = "/v";
  OrderedJson v = OrderedJson::object();
  v["hooks"] = OrderedJson::array({hook});
  return v;
}

// The group laid out over lines, under an indentation.
std::string group_block(const std::string& i, const std::string& u, const std::string& eol) {
  return "{" + eol + i + u + "\"hooks\": [" + eol + i + u + u + "{" + eol + i + u + u + u +
         "\"type\": \"command\"," + eol + i + u + u + u + "\"command\": \"/v\"" + eol + i + u + u +
         "}" + eol + i + u + "]" + eol + i + "}";
}

struct ElementCase {
  const char* name;
  std::string before;
  std::string after;    // of appending the group
  std::string emptied;  // of taking it out again, when that isn't `before`
  JsonDialect dialect = JsonDialect::kJsonc;
};

TEST(JsoncEdit, AppendAndRemoveElementKeepEveryOtherByte) {
  const std::string g6 = group_block("      ", "  ", "\n");
  const ElementCase cases[] = {
      {"empty array", "{\"hooks\": {\"Stop\": []}}", "{\"hooks\": {\"Stop\": [" + kGroup + "]}}",
       ""},
      {"a comment in an empty array", "{\"hooks\": {\"Stop\": [ /* none */ ]}}",
       "{\"hooks\": {\"Stop\": [" + kGroup + " /* none */ ]}}", ""},
      {"empty array over lines", "{\n  \"hooks\": {\n    \"Stop\": [\n    ]\n  }\n}\n",
       "{\n  \"hooks\": {\n    \"Stop\": [\n      " + g6 + "\n    ]\n  }\n}\n", ""},
      {"a comment after the bracket of an empty array",
       "{\n  \"hooks\": {\n    \"Stop\": [ // groups\n    ]\n  }\n}\n",
       "{\n  \"hooks\": {\n    \"Stop\": [ // groups\n      " + g6 + "\n    ]\n  }\n}\n", ""},
      {"one-line array", "{\"hooks\": {\"Stop\": [{\"a\": 1}]}}",
       "{\"hooks\": {\"Stop\": [{\"a\": 1}, " + kGroup + "]}}", ""},
      {"elements sharing lines", "{\"hooks\": {\"Stop\": [\n  1, 2\n]}}",
       "{\"hooks\": {\"Stop\": [\n  1, 2, " + kGroup + "\n]}}", ""},
      {"block array", "{\n  \"hooks\": {\n    \"Stop\": [\n      {\"a\": 1}\n    ]\n  }\n}",
       "{\n  \"hooks\": {\n    \"Stop\": [\n      {\"a\": 1},\n      " + g6 + "\n    ]\n  }\n}", ""},
      {"trailing comma over lines",
       "{\n  \"hooks\": {\n    \"Stop\": [\n      {\"a\": 1},\n    ],\n  },\n}",
       "{\n  \"hooks\": {\n    \"Stop\": [\n      {\"a\": 1},\n      " + g6 + ",\n    ],\n  },\n}", ""},
      {"trailing comma on one line", "{\"hooks\": {\"Stop\": [1,]}}",
       "{\"hooks\": {\"Stop\": [1, " + kGroup + ",]}}", ""},
      {"a comment after the last element",
       "{\n  \"hooks\": {\n    \"Stop\": [\n      {\"a\": 1} // mine\n    ]\n  }\n}",
       "{\n  \"hooks\": {\n    \"Stop\": [\n      {\"a\": 1}, // mine\n      " + g6 +
           "\n    ]\n  }\n}",
       ""},
      {"comments after the last element, without trailing commas",
       "{\n  \"hooks\": {\n    \"Stop\": [\n      {\"a\": 1} /* x */ // mine\n      // later\n    ]\n  }\n}",
       "{\n  \"hooks\": {\n    \"Stop\": [\n      {\"a\": 1}, /* x */ // mine\n      " + g6 +
           "\n      // later\n    ]\n  }\n}",
       "", JsonDialect::kComments},
      {"CRLF and tabs",
       "{\r\n\t\"hooks\": {\r\n\t\t\"Stop\": [\r\n\t\t\t{\"a\": 1}\r\n\t\t]\r\n\t}\r\n}\r\n",
       "{\r\n\t\"hooks\": {\r\n\t\t\"Stop\": [\r\n\t\t\t{\"a\": 1},\r\n\t\t\t" +
           group_block("\t\t\t", "\t", "\r\n") + "\r\n\t\t]\r\n\t}\r\n}\r\n",
       ""},
      {"strict JSON", "{\n  \"hooks\": {\n    \"Stop\": [\n      {\"a\": 1}\n    ]\n  }\n}\n",
       "{\n  \"hooks\": {\n    \"Stop\": [\n      {\"a\": 1},\n      " + g6 + "\n    ]\n  }\n}\n", "",
       JsonDialect::kStrict},
      // What the append makes stays, emptied.
      {"missing hooks", "{\n  \"model\": \"x\"\n}\n",
       "{\n  \"model\": \"x\",\n  \"hooks\": {\n    \"Stop\": [\n      " + g6 + "\n    ]\n  }\n}\n",
       "{\n  \"model\": \"x\",\n  \"hooks\": {\n    \"Stop\": [\n    ]\n  }\n}\n"},
      {"missing hooks on one line", "{}", "{\"hooks\": { \"Stop\": [" + kGroup + "] }}",
       "{\"hooks\": { \"Stop\": [] }}"},
      {"missing event array", "{\"hooks\": {\"Start\": []}}",
       "{\"hooks\": {\"Start\": [], \"Stop\": [" + kGroup + "]}}",
       "{\"hooks\": {\"Start\": [], \"Stop\": []}}"},
      {"blank", "", "{\n  \"hooks\": {\n    \"Stop\": [\n      " + g6 + "\n    ]\n  }\n}\n",
       "{\n  \"hooks\": {\n    \"Stop\": [\n    ]\n  }\n}\n"},
  };
  for (const ElementCase& c : cases) {
    auto appended = jsonc_append_element(c.before, kStop, group(), c.dialect);
    ASSERT_TRUE(appended) << c.name << ": " << appended.message();
    EXPECT_EQ(*appended, c.after) << c.name;
    auto read = jsonc_member(*appended, kStop, c.dialect);
    ASSERT_TRUE(read && *read && (*read)->is_array()) << c.name;
    EXPECT_EQ((*read)->back(), Json::parse(group().dump())) << c.name;
    auto removed = jsonc_remove_element(*appended, kStop, (*read)->size() - 1, c.dialect);
    ASSERT_TRUE(removed) << c.name << ": " << removed.message();
    EXPECT_EQ(*removed, c.emptied.empty() ? c.before : c.emptied) << c.name;
    if (c.emptied.empty()) continue;
    // An array the append made, dropped as a member while it holds only
    // the group, goes with what was made on the way (a blank text keeps a
    // document).
    auto dropped = jsonc_remove_member(*appended, kStop, c.dialect);
    ASSERT_TRUE(dropped && *dropped) << c.name;
    EXPECT_EQ(**dropped, c.before.empty() ? "{\n}\n" : c.before) << c.name;
  }
  // Or once emptied, when written on one line.
  auto dropped = jsonc_remove_member("{\"hooks\": { \"Stop\": [] }}", kStop, JsonDialect::kJsonc);
  ASSERT_TRUE(dropped && *dropped);
  EXPECT_EQ(**dropped, "{}");
}

TEST(JsoncEdit, RemovingAnElementTakesTheCommaAndTheLine) {
  const std::tuple<std::string, size_t, std::string> cases[] = {
      {"{\"hooks\": {\"Stop\": [\n  1,\n  2\n]}}", 0, "{\"hooks\": {\"Stop\": [\n  2\n]}}"},
      {"{\"hooks\": {\"Stop\": [1, 2, 3]}}", 1, "{\"hooks\": {\"Stop\": [1, 3]}}"},
      {"{\"hooks\": {\"Stop\": [1, 2, 3]}}", 2, "{\"hooks\": {\"Stop\": [1, 2]}}"},
      {"{\"hooks\": {\"Stop\": [1]}}", 0, "{\"hooks\": {\"Stop\": []}}"},
      // Comments stay.
      {"{\"hooks\": {\"Stop\": [1, /* c */ 2]}}", 1, "{\"hooks\": {\"Stop\": [1 /* c */ ]}}"},
      {"{\"hooks\": {\"Stop\": [\n  {\"a\": 1}, // first\n  2\n]}}", 0,
       "{\"hooks\": {\"Stop\": [\n  // first\n  2\n]}}"},
      {"{\"hooks\": {\"Stop\": [\r\n  1, // keep\r\n  2\r\n]}}", 1,
       "{\"hooks\": {\"Stop\": [\r\n  1 // keep\r\n]}}"},
      {"{\"hooks\": {\"Stop\": [\n  1,\n  2,\n]}}", 1, "{\"hooks\": {\"Stop\": [\n  1,\n]}}"},
      // An element with a comment inside is nobody's append: it goes alone.
      {"{\"hooks\": {\"Stop\": [\n  1,\n  {/* mine */}\n]}}", 1, "{\"hooks\": {\"Stop\": [\n  1\n]}}"},
  };
  for (const auto& [before, index, after] : cases) {
    auto removed = jsonc_remove_element(before, kStop, index, JsonDialect::kJsonc);
    ASSERT_TRUE(removed) << before << ": " << removed.message();
    EXPECT_EQ(*removed, after);
  }
}

TEST(JsoncEdit, ElementEditsRefuseWhatIsNoArray) {
  const std::tuple<std::string, JsonDialect, std::string> both[] = {
      {"{\"hooks\": []}", JsonDialect::kJsonc,
       " has \"hooks\" as something other than an object, so I left it alone"},
      {"{\"hooks\": {\"Stop\": {}}}", JsonDialect::kJsonc,
       " has \"Stop\" as something other than an array, so I left it alone"},
      {"{\"hooks\": {\"Stop\": \"[]\"}}", JsonDialect::kJsonc,
       " has \"Stop\" as something other than an array, so I left it alone"},
      {"{\"hooks\": {\"Stop\": [], \"Stop\": []}}", JsonDialect::kJsonc,
       " has \"Stop\" twice in one object, so I left it alone"},
      {"{\"hooks\": 1, \"hooks\": {}}", JsonDialect::kJsonc,
       " has \"hooks\" twice in one object, so I left it alone"},
      {"{\"hooks\": {\"Stop\": [1,]}}", JsonDialect::kComments,
       " has a trailing comma (line 1, column 22), which its reader can't read, so I left it alone"},
      {"[]", JsonDialect::kJsonc, " isn't a JSON object, so I left it alone"},
  };
  for (const auto& [text, dialect, message] : both) {
    auto appended = jsonc_append_element(text, kStop, group(), dialect);
    ASSERT_FALSE(appended) << text;
    EXPECT_EQ(appended.message(), message) << text;
    auto removed = jsonc_remove_element(text, kStop, 0, dialect);
    ASSERT_FALSE(removed) << text;
    EXPECT_EQ(removed.message(), message) << text;
  }
  const std::tuple<std::string, size_t, std::string> remove_only[] = {
      {"", 0, " has no \"Stop\" array, so I left it alone"},
      {"{\"hooks\": {}}", 0, " has no \"Stop\" array, so I left it alone"},
      {"{\"hooks\": {\"Stop\": []}}", 0, " has no element 1 in \"Stop\", so I left it alone"},
      {"{\"hooks\": {\"Stop\": [1]}}", 1, " has no element 2 in \"Stop\", so I left it alone"},
  };
  for (const auto& [text, index, message] : remove_only) {
    auto removed = jsonc_remove_element(text, kStop, index, JsonDialect::kJsonc);
    ASSERT_FALSE(removed) << text;
    EXPECT_EQ(removed.message(), message) << text;
  }
}

}  // namespace
}  // namespace vesk::agents::edit
