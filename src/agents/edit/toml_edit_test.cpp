#include "agents/edit/toml_edit.h"

#include <gtest/gtest.h>

#include "agents/edit/toml_read.h"
#include "base/json.h"

namespace vesk::agents::edit {
namespace {

const KeyPath kVesk = {"mcp_servers", "vesk"};
const std::vector<std::pair<std::string, std::string>> kKeys = {{"command", "\"/v\""},
                                                                {"args", "[\"mcp\"]"}};
const std::string kAdded = "\n[mcp_servers.vesk]\ncommand = \"/v\"\nargs = [\"mcp\"]\n";

TEST(TomlDocument, ReadsTheDataWithDatesAndNaNTagged) {
  auto doc = toml_document(
      "i = -7\nf = 1.5\nb = true\ns = 'x'\nn = nan\nm = -nan\n"
      "odt = 1979-05-27T00:32:00-07:00\nz = 1979-05-27 07:32:00Z\nldt = 1979-05-27T07:32:00.5\n"
      "ld = 1979-05-27\nlt = 07:32:00\n[t]\na = [1, 'two', { x = 3 }]\n");
  ASSERT_TRUE(doc) << doc.message();
  Json want = {{"i", -7},
               {"f", 1.5},
               {"b", true},
               {"s", "x"},
               {"n", "float:nan"},
               {"m", "float:nan"},
               {"odt", "datetime:1979-05-27T00:32:00-07:00"},
               {"z", "datetime:1979-05-27T07:32:00Z"},
               {"ldt", "datetime-local:1979-05-27T07:32:00.500000000"},
               {"ld", "date:1979-05-27"},
               {"lt", "time:07:32:00"},
               {"t", {{"a", Json::array({1, "two", {{"x", 3}}})}}}};
  EXPECT_EQ(*doc, want);
  EXPECT_EQ(*toml_document("n = nan"), *toml_document("n = +nan # again"));
}

TEST(TomlDocument, RefusesWhatCodexRefuses) {
  struct TomlRefusal {
    const char* name;
    std::string text;
    std::string message;
  };
  const TomlRefusal refusals[] = {
      {"not UTF-8", "a = \"\xFF\"\n", " isn't UTF-8 text, so I left it alone"},
      {"unterminated multi-line string", "a = 1\nb = \"\"\"\nnever closed\n",
       " isn't valid TOML (line 3, column 14: Error while parsing string: encountered end-of-file), "
       "so I left it alone"},
      {"a key set twice", "a = 1\na = 2\n", " isn't valid TOML (line 2, column 5:"},
      {"a table defined twice", "[t]\n[t]\n", " isn't valid TOML (line 2, column 1:"},
      {"a NUL byte, which toml++ must never see", std::string("a = 1\n[x\0]\n", 11),
       " isn't valid TOML (line 2, column 3: a NUL character is not allowed), so I left it alone"},
  };
  for (const TomlRefusal& r : refusals) {
    auto doc = toml_document(r.text);
    ASSERT_FALSE(doc) << r.name;
    EXPECT_EQ(doc.message().substr(0, r.message.size()), r.message) << r.name;
    EXPECT_EQ(doc.message().find('\n'), std::string::npos) << r.name;
  }
}

struct TomlCase {
  const char* name;
  std::string before;
  std::string after;                   // with the keys set
  std::optional<std::string> removed;  // before without the table
};

TEST(TomlEdit, SetAndRemoveInEveryForm) {
  const TomlCase cases[] = {
      {"empty", "", kAdded, std::nullopt},
      {"a key", "a = 1\n", "a = 1\n" + kAdded, std::nullopt},
      {"a byte-order mark", "\xEF\xBB\xBFmcp_servers.vesk.x = 1\n",
       "\xEF\xBB\xBFmcp_servers.vesk.x = 1\nmcp_servers.vesk.command = \"/v\"\n"
       "mcp_servers.vesk.args = [\"mcp\"]\n",
       "\xEF\xBB\xBF"},
      {"no last line break", "a = 1 # one", "a = 1 # one" + kAdded, std::nullopt},
      {"CRLF", "a = 1\r\n[b]\r\n",
       "a = 1\r\n[b]\r\n\r\n[mcp_servers.vesk]\r\ncommand = \"/v\"\r\nargs = [\"mcp\"]\r\n",
       std::nullopt},
      {"other servers", "[mcp_servers.other]\ncommand = \"o\"\n",
       "[mcp_servers.other]\ncommand = \"o\"\n" + kAdded, std::nullopt},
      {"a header table keeps its other keys",
       "[mcp_servers.vesk]\ncommand = \"old\" # mine\nenabled = true\n\n[mcp_servers.vesk.env]\nA = \"1\"\n",
       "[mcp_servers.vesk]\nargs = [\"mcp\"]\ncommand = \"/v\" # mine\nenabled = true\n\n"
       "[mcp_servers.vesk.env]\nA = \"1\"\n",
       ""},
      {"escaped and quoted keys",
       "[mcp_servers.\"ves\\u006b\"]\ncommand = \"old\"\n[ \"mcp_\\u0073ervers\" . 'vesk' . env ]\nA = \"1\"\n",
       "[mcp_servers.\"ves\\u006b\"]\nargs = [\"mcp\"]\ncommand = \"/v\"\n"
       "[ \"mcp_\\u0073ervers\" . 'vesk' . env ]\nA = \"1\"\n",
       ""},
      {"dotted keys under [mcp_servers]",
       "[mcp_servers]\nvesk.command = \"old\"\n  vesk . env.A = \"1\"\nother.command = \"o\"\n",
       "[mcp_servers]\nvesk.command = \"/v\"\n  vesk . env.A = \"1\"\n  vesk.args = [\"mcp\"]\n"
       "other.command = \"o\"\n",
       "[mcp_servers]\nother.command = \"o\"\n"},
      {"dotted keys at the root", "mcp_servers.\"vesk\".args = [] # none\nx = 1\n",
       "mcp_servers.\"vesk\".args = [\"mcp\"] # none\nmcp_servers.\"vesk\".command = \"/v\"\nx = 1\n",
       "x = 1\n"},
      {"an inline table",
       "[mcp_servers]\nvesk = { command = \"x\", env = { A = \"1\" } }\nother = { command = \"o\" }\n",
       "[mcp_servers]\nvesk = { command = \"/v\", env = { A = \"1\" }, args = [\"mcp\"] }\n"
       "other = { command = \"o\" }\n",
       "[mcp_servers]\nother = { command = \"o\" }\n"},
      {"an empty inline table inside another", "mcp_servers = { vesk = {}, a = { command = \"a\" } }\n",
       "mcp_servers = { vesk = { command = \"/v\", args = [\"mcp\"] }, a = { command = \"a\" } }\n",
       "mcp_servers = { a = { command = \"a\" } }\n"},
      {"dotted keys inside an inline table", "mcp_servers = { a = 1, vesk.command = \"x\" }\n",
       "mcp_servers = { a = 1, vesk.command = \"/v\", vesk.args = [\"mcp\"] }\n",
       "mcp_servers = { a = 1 }\n"},
      {"the only member of an inline table", "mcp_servers = { vesk = { command = \"x\" } }\n",
       "mcp_servers = { vesk = { command = \"/v\", args = [\"mcp\"] } }\n", "mcp_servers = {}\n"},
      {"an inline table with a comment and args over lines",
       "[mcp_servers]\nvesk = { args = [\n  \"a\",\n], cwd = '/w' } # mine\n",
       "[mcp_servers]\nvesk = { args = [\"mcp\"], cwd = '/w', command = \"/v\" } # mine\n",
       "[mcp_servers]\n"},
      {"a header with a comment and no line break", "[mcp_servers.vesk] # mine",
       "[mcp_servers.vesk] # mine\ncommand = \"/v\"\nargs = [\"mcp\"]", ""},
      {"only dotted subtables at the root", "mcp_servers.vesk.env.A = 1\r\n",
       "mcp_servers.vesk.env.A = 1\r\nmcp_servers.vesk.command = \"/v\"\r\n"
       "mcp_servers.vesk.args = [\"mcp\"]\r\n",
       ""},
      {"args over several lines",
       "[mcp_servers.vesk]\ncommand = \"x\"\nargs = [\n  \"old\", # first\n  \"two\",\n]\ncwd = \"/w\"\n",
       "[mcp_servers.vesk]\ncommand = \"/v\"\nargs = [\"mcp\"]\ncwd = \"/w\"\n", ""},
      {"only subtables", "a = 1\n\n[mcp_servers.vesk.env]\nA = \"1\"\n",
       "a = 1\n\n[mcp_servers.vesk]\ncommand = \"/v\"\nargs = [\"mcp\"]\n\n[mcp_servers.vesk.env]\nA = \"1\"\n",
       "a = 1\n"},
      {"a header inside a multi-line string is none",
       "note = \"\"\"\n\\\"\"\"\n[mcp_servers.vesk]\ncommand = \"no\"\n\"\"\"\n",
       "note = \"\"\"\n\\\"\"\"\n[mcp_servers.vesk]\ncommand = \"no\"\n\"\"\"\n" + kAdded, std::nullopt},
      {"two more quotes before a literal string closes",
       "s = '''\n[mcp_servers.vesk]\n'''''\n\n[mcp_servers.vesk]\ncommand = \"old\"\n",
       "s = '''\n[mcp_servers.vesk]\n'''''\n\n[mcp_servers.vesk]\nargs = [\"mcp\"]\ncommand = \"/v\"\n",
       "s = '''\n[mcp_servers.vesk]\n'''''\n"},
      {"comments above the next table stay with it",
       "a = 1\n\n[mcp_servers.vesk]\ncommand = \"x\" # ours\n# about vesk\n\n# the other one\n"
       "[mcp_servers.other]\ncommand = \"o\"\n",
       "a = 1\n\n[mcp_servers.vesk]\nargs = [\"mcp\"]\ncommand = \"/v\" # ours\n# about vesk\n\n"
       "# the other one\n[mcp_servers.other]\ncommand = \"o\"\n",
       "a = 1\n\n# the other one\n[mcp_servers.other]\ncommand = \"o\"\n"},
      {"an array of tables under it",
       "[mcp_servers.vesk]\ncommand = \"x\"\n[[mcp_servers.vesk.tools]]\nname = \"t\"\n[z]\n",
       "[mcp_servers.vesk]\nargs = [\"mcp\"]\ncommand = \"/v\"\n[[mcp_servers.vesk.tools]]\nname = \"t\"\n[z]\n",
       "[z]\n"},
  };
  for (const TomlCase& c : cases) {
    auto set = toml_set_keys(c.before, kVesk, kKeys);
    ASSERT_TRUE(set) << c.name << ": " << set.message();
    EXPECT_EQ(*set, c.after) << c.name;
    auto doc = toml_document(*set);
    ASSERT_TRUE(doc) << c.name << ": " << doc.message();
    EXPECT_EQ((*doc)["mcp_servers"]["vesk"]["command"], "/v") << c.name;
    EXPECT_EQ((*doc)["mcp_servers"]["vesk"]["args"], Json::array({"mcp"})) << c.name;
    auto again = toml_set_keys(*set, kVesk, kKeys);
    ASSERT_TRUE(again) << c.name;
    EXPECT_EQ(*again, *set) << c.name << ": setting twice";

    auto removed = toml_remove_table(std::string_view(c.before), kVesk);
    ASSERT_TRUE(removed) << c.name << ": " << removed.message();
    EXPECT_EQ(*removed, c.removed) << c.name;
    auto gone = toml_remove_table(std::string_view(*set), kVesk);
    ASSERT_TRUE(gone && *gone) << c.name;
    auto left = toml_document(**gone);
    ASSERT_TRUE(left) << c.name << ": " << left.message();
    EXPECT_EQ(member(*left, "mcp_servers") ? member(*left, "mcp_servers")->count("vesk") : 0u, 0u)
        << c.name;
    // What was appended comes out to the byte.
    EXPECT_EQ(**gone, c.removed.value_or(c.before)) << c.name << ": removed after setting";
  }
}

TEST(TomlEdit, RefusesWhatItCantSet) {
  struct TomlRefusal {
    const char* name;
    std::string text;
    std::string message;
  };
  const TomlRefusal refusals[] = {
      {"unterminated multi-line string", "[mcp_servers.vesk]\nargs = '''\n",
       " isn't valid TOML (line 2, column 12: Error while parsing literal string: encountered "
       "end-of-file), so I left it alone"},
      {"not UTF-8", "# \xC3\n", " isn't UTF-8 text, so I left it alone"},
      {"an array of tables", "[[mcp_servers]]\nname = \"a\"\n",
       " sets mcp_servers to an array of tables, not a table, so I left it alone"},
      {"a value", "mcp_servers = 3\n", " sets mcp_servers to a number, not a table, so I left it alone"},
      {"vesk a value", "[mcp_servers]\nvesk = \"x\"\n",
       " sets mcp_servers.vesk to a string or a date, not a table, so I left it alone"},
      {"an inline table without vesk", "mcp_servers = { a = { command = \"a\" } }\n",
       " sets mcp_servers as an inline table, to which no table can be added, so I left it alone"},
      {"a key that is a dotted table", "[mcp_servers.vesk]\ncommand.x = 1\n",
       " sets mcp_servers.vesk.command as a table, so I left it alone"},
      {"a key that is a table", "[mcp_servers.vesk.args]\nx = 1\n",
       " sets mcp_servers.vesk.args as a table, so I left it alone"},
  };
  for (const TomlRefusal& r : refusals) {
    auto set = toml_set_keys(r.text, kVesk, kKeys);
    ASSERT_FALSE(set) << r.name;
    EXPECT_EQ(set.message(), r.message) << r.name;
  }
  // Removing refuses only what doesn't read; a vesk that is no table is not ours.
  auto bad = toml_remove_table(std::string_view("[mcp_servers.vesk]\nargs = '''\n"), kVesk);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.message(), refusals[0].message);
  auto other = toml_remove_table(std::string_view("[mcp_servers]\nvesk = \"x\"\n"), kVesk);
  ASSERT_TRUE(other);
  EXPECT_EQ(*other, std::nullopt);
}

}  // namespace
}  // namespace vesk::agents::edit
