#include <gtest/gtest.h>

#include "agents/agents.h"
#include "harness.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::agents {
namespace {

using platform::join_path;
using vesk::testing::names_in;
using vesk::testing::TempDir;

std::string pid() { return std::to_string(platform::current_pid()); }

const LaunchEntry kEntry{"C:\\Tools\\vesk.exe", {"mcp"}};

// The entry as it comes out, indented for its place under "mcpServers".
const char kVeskEntry[] =
    "    \"vesk\": {\n"
    "      \"args\": [\n"
    "        \"mcp\"\n"
    "      ],\n"
    "      \"command\": \"C:\\\\Tools\\\\vesk.exe\",\n"
    "      \"env\": {},\n"
    "      \"type\": \"stdio\"\n"
    "    }";

const char kAdded[] = "Added to Claude Code for all projects. New sessions can use Vesk.";

std::string slurp(const std::string& path) {
  auto text = platform::read_file(path);
  return text ? *text : "<missing>";
}

struct Profile {
  TempDir dir;
  std::string config = join_path(dir.path(), ".claude.json");
  std::string backup = join_path(dir.path(), ".claude.json.vesk-backup");

  Connection connect() { return connect_claude_code_at(config, kEntry); }
  std::vector<std::string> names() const { return names_in(dir.path()); }
};

TEST(AgentClaudeCode, KeepsEverythingElseAndSortsTheKeys) {
  Profile p;
  const std::string original =
      "{\"zeta\": 1, \"mcpServers\": {\"other\": {\"command\": \"x\", \"args\": []}},\r\n"
      " \"alpha\": {\"b\": true, \"a\": [1.5, null, \"\\u00e9\"]}}\n";
  ASSERT_TRUE(platform::write_file(p.config, original));
  Connection c = p.connect();
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.message, kAdded);
  EXPECT_EQ(slurp(p.config),
            std::string("{\n"
                        "  \"alpha\": {\n"
                        "    \"a\": [\n"
                        "      1.5,\n"
                        "      null,\n"
                        "      \"\xC3\xA9\"\n"
                        "    ],\n"
                        "    \"b\": true\n"
                        "  },\n"
                        "  \"mcpServers\": {\n"
                        "    \"other\": {\n"
                        "      \"args\": [],\n"
                        "      \"command\": \"x\"\n"
                        "    },\n") +
                kVeskEntry + "\n  },\n  \"zeta\": 1\n}");
  EXPECT_EQ(slurp(p.backup), original);
}

TEST(AgentClaudeCode, ReplacesAServerListThatIsNoObject) {
  for (const char* servers : {"\"text\"", "[1, 2]", "null", "3"}) {
    Profile p;
    ASSERT_TRUE(platform::write_file(p.config, std::string("{\"mcpServers\": ") + servers + "}"));
    EXPECT_TRUE(p.connect().ok);
    EXPECT_EQ(slurp(p.config), std::string("{\n  \"mcpServers\": {\n") + kVeskEntry + "\n  }\n}")
        << servers;
  }
}

TEST(AgentClaudeCode, ReplacesAnEarlierEntry) {
  Profile p;
  ASSERT_TRUE(platform::write_file(p.config, R"({"mcpServers":{"vesk":{"command":"old","x":1}}})"));
  EXPECT_TRUE(p.connect().ok);
  EXPECT_EQ(slurp(p.config), std::string("{\n  \"mcpServers\": {\n") + kVeskEntry + "\n  }\n}");
}

TEST(AgentClaudeCode, LeavesAloneWhatIsNotJson) {
  const std::string bad[] = {"", "  \n\t", "{", "{\"a\":1} x", "{\"a\":1}{}", "{'a':1}",
                             "\xEF\xBB\xBF{}",            // a byte-order mark
                             "{\"a\":\"\xFF\"}",          // not UTF-8
                             "{\"a\":\"\xED\xA0\x80\"}"};  // an encoded surrogate
  for (const std::string& text : bad) {
    Profile p;
    ASSERT_TRUE(platform::write_file(p.config, text));
    Connection c = p.connect();
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.message, p.config + " isn't valid JSON, so I left it alone");
    EXPECT_EQ(slurp(p.config), text);
    EXPECT_EQ(p.names(), std::vector<std::string>{".claude.json"});
  }
}

TEST(AgentClaudeCode, LeavesAloneJsonThatIsNoObject) {
  for (const char* text : {"[]", "[{\"mcpServers\":{}}]", "\"x\"", "null", " 42 "}) {
    Profile p;
    ASSERT_TRUE(platform::write_file(p.config, text));
    Connection c = p.connect();
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.message, p.config + " isn't a JSON object, so I left it alone");
    EXPECT_EQ(slurp(p.config), text);
    EXPECT_EQ(p.names(), std::vector<std::string>{".claude.json"});
  }
}

TEST(AgentClaudeCode, LeavesAloneADocumentNestedTooDeeply) {
  Profile p;
  const size_t depth = 5000;
  std::string text = "{\"a\":" + std::string(depth, '[') + std::string(depth, ']') + "}";
  ASSERT_TRUE(platform::write_file(p.config, text));
  Connection c = p.connect();
  EXPECT_FALSE(c.ok);
  EXPECT_EQ(c.message, p.config + " is nested too deeply to rewrite safely, so I left it alone");
  EXPECT_EQ(slurp(p.config), text);
  EXPECT_EQ(p.names(), std::vector<std::string>{".claude.json"});
}

TEST(AgentClaudeCode, BracketsInsideStringsAreNoNesting) {
  Profile p;
  std::string brackets(3000, '[');
  std::string text = "{\"a\":\"" + brackets + "\\\"" + brackets + "\",\"b\":[[{}]]}";
  ASSERT_TRUE(platform::write_file(p.config, text));
  Connection c = p.connect();
  EXPECT_TRUE(c.ok) << c.message;
  EXPECT_NE(slurp(p.config).find(brackets + "\\\"" + brackets), std::string::npos);
}

TEST(AgentClaudeCode, AFailedBackupWritesNothing) {
  Profile p;
  const std::string original = R"({"a":1})";
  ASSERT_TRUE(platform::write_file(p.config, original));
  // The backup's sibling cannot be created: a folder has its name.
  ASSERT_TRUE(platform::create_dirs(join_path(p.dir.path(), ".claude.json.vesk-tmp" + pid())));
  Connection c = p.connect();
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.message.find("(os error "), std::string::npos) << c.message;
  EXPECT_EQ(slurp(p.config), original);
  EXPECT_FALSE(platform::file_exists(p.backup));
}

TEST(AgentClaudeCode, AFailedWriteKeepsTheOriginalAndItsBackup) {
  Profile p;
  const std::string original = "{\"a\":\n  1}";
  ASSERT_TRUE(platform::write_file(p.config, original));
  ASSERT_TRUE(platform::create_dirs(join_path(p.dir.path(), ".claude.vesk-tmp" + pid())));
  Connection c = p.connect();
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.message.find("(os error "), std::string::npos) << c.message;
  EXPECT_EQ(slurp(p.config), original);
  EXPECT_EQ(slurp(p.backup), original);
}

TEST(AgentClaudeCode, AFileThatCannotBeReadIsReported) {
  Profile p;
  // A folder where the file should be: it exists but is no file to read.
  ASSERT_TRUE(platform::create_dirs(join_path(p.config, "inside")));
  Connection c = p.connect();
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.message.find("(os error "), std::string::npos) << c.message;
  EXPECT_EQ(names_in(p.config), std::vector<std::string>{"inside"});
  EXPECT_FALSE(platform::file_exists(p.backup));
}

}  // namespace
}  // namespace vesk::agents
