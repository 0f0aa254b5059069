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
const char kTable[] =
    "\n[mcp_servers.vesk]\ncommand = \"C:\\\\Tools\\\\vesk.exe\"\nargs = [\"mcp\"]\n";
const char kAdded[] = "Added to Codex. New sessions can use Vesk.";
const char kAlready[] = "Codex already has Vesk.";

std::string slurp(const std::string& path) {
  auto text = platform::read_file(path);
  return text ? *text : "<missing>";
}

struct Profile {
  TempDir dir;
  std::string folder = join_path(dir.path(), ".codex");
  std::string config = join_path(folder, "config.toml");
  std::string backup = join_path(folder, "config.toml.vesk-backup");

  Connection connect() { return connect_codex_at(config, kEntry); }
  void put(const std::string& text) {
    ASSERT_TRUE(platform::create_dirs(folder));
    ASSERT_TRUE(platform::write_file(config, text));
  }
};

TEST(AgentCodex, BasicStrings) {
  EXPECT_EQ(toml_basic_string("C:\\Tools\\vesk.exe"), "\"C:\\\\Tools\\\\vesk.exe\"");
  EXPECT_EQ(toml_basic_string("a \"b\" c"), "\"a \\\"b\\\" c\"");
  EXPECT_EQ(toml_basic_string("C:\\Program Files\\J\xC3\xBCrgen\\vesk.exe"),
            "\"C:\\\\Program Files\\\\J\xC3\xBCrgen\\\\vesk.exe\"");
  EXPECT_EQ(toml_basic_string(""), "\"\"");
  // Control characters TOML forbids are escaped; a tab may stand as it is.
  EXPECT_EQ(toml_basic_string("a\nb\rc\x7F" "d\x01\te\x1F"),
            "\"a\\u000Ab\\u000Dc\\u007Fd\\u0001\te\\u001F\"");
  EXPECT_EQ(toml_basic_string(std::string("a\0b", 3)), "\"a\\u0000b\"");
}

TEST(AgentCodex, TheTable) {
  EXPECT_EQ(codex_table(kEntry), kTable);
  EXPECT_EQ(codex_table({"/opt/a \"b\"/vesk", {"mcp", "x"}}),
            "\n[mcp_servers.vesk]\ncommand = \"/opt/a \\\"b\\\"/vesk\"\nargs = [\"mcp\", \"x\"]\n");
  // Bytes that are not UTF-8 never reach the file.
  EXPECT_EQ(codex_table({"/opt/\xFF/vesk", {"mcp"}}),
            "\n[mcp_servers.vesk]\ncommand = \"/opt/\xEF\xBF\xBD/vesk\"\nargs = [\"mcp\"]\n");
}

TEST(AgentCodex, AppendsAfterTheLastLine) {
  for (std::string old : {"model = \"o3\"", "model = \"o3\"\n", "model = \"o3\"\r\n", "\n"}) {
    Profile p;
    p.put(old);
    Connection c = p.connect();
    EXPECT_TRUE(c.ok) << c.message;
    EXPECT_EQ(c.message, kAdded);
    EXPECT_EQ(slurp(p.config), old + kTable);
    EXPECT_EQ(slurp(p.backup), old);
  }
}

TEST(AgentCodex, AnEmptyFileGetsNoBackup) {
  Profile p;
  p.put("");
  EXPECT_TRUE(p.connect().ok);
  EXPECT_EQ(slurp(p.config), kTable);
  EXPECT_EQ(names_in(p.folder), std::vector<std::string>{"config.toml"});
}

TEST(AgentCodex, AFileThatNamesTheTableIsLeftAsItIs) {
  for (std::string old : {"[mcp_servers.vesk]\ncommand = \"x\"\n",
                          "a = 1\n[mcp_servers.vesk]",
                          "  [ mcp_servers . \"vesk\" ]  # mine\r\n",
                          "[mcp_servers]\nvesk.command = 'x'\n",
                          "mcp_servers.vesk = { command = \"x\" }\n",
                          "[mcp_servers.vesk.env]\nA = \"1\"\n"}) {
    Profile p;
    p.put(old);
    Connection c = p.connect();
    EXPECT_TRUE(c.ok) << old;
    EXPECT_EQ(c.message, kAlready) << old;
    EXPECT_EQ(slurp(p.config), old);
    EXPECT_EQ(names_in(p.folder), std::vector<std::string>{"config.toml"});
  }
  // Names are case-sensitive; a comment, another table's key or the inside
  // of a multi-line string is no table.
  for (std::string old : {"[MCP_servers.vesk]\n", "# [mcp_servers.vesk] is added by vesk connect\n",
                          "[other]\nmcp_servers.vesk = 1\n",
                          "note = \"\"\"\n[mcp_servers.vesk]\n\"\"\"\n"}) {
    Profile p;
    p.put(old);
    EXPECT_EQ(p.connect().message, kAdded) << old;
    EXPECT_EQ(slurp(p.config), old + kTable);
  }
}

// A table cannot be added to a value or an inline table.
TEST(AgentCodex, ServersGivenAsAValueAreLeftAlone) {
  for (std::string old : {"mcp_servers = {}\n", "\"mcp_servers\" = 1\n"}) {
    Profile p;
    p.put(old);
    Connection c = p.connect();
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.message, p.config + " sets mcp_servers in a form a table can't be added to, so I "
                                    "left it alone");
    EXPECT_EQ(names_in(p.folder), std::vector<std::string>{"config.toml"});
  }
}

TEST(AgentCodex, TextThatIsNotUtf8IsLeftAlone) {
  Profile p;
  const std::string old = "model = \"\xE9t\xE9\"\n";  // Latin-1
  p.put(old);
  Connection c = p.connect();
  EXPECT_FALSE(c.ok);
  EXPECT_EQ(c.message, p.config + " isn't UTF-8 text, so I left it alone");
  EXPECT_EQ(slurp(p.config), old);
  EXPECT_EQ(names_in(p.folder), std::vector<std::string>{"config.toml"});
}

TEST(AgentCodex, AFolderThatCannotBeMadeWritesNothing) {
  Profile p;
  // A file where the folder should be.
  ASSERT_TRUE(platform::write_file(p.folder, "not a folder"));
  Connection c = p.connect();
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.message.find("(os error "), std::string::npos) << c.message;
  EXPECT_EQ(slurp(p.folder), "not a folder");
  EXPECT_EQ(names_in(p.dir.path()), std::vector<std::string>{".codex"});
}

TEST(AgentCodex, AFailedBackupWritesNothing) {
  Profile p;
  p.put("a = 1\n");
  ASSERT_TRUE(platform::create_dirs(join_path(p.folder, "config.toml.vesk-tmp" + pid())));
  Connection c = p.connect();
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.message.find("(os error "), std::string::npos) << c.message;
  EXPECT_EQ(slurp(p.config), "a = 1\n");
  EXPECT_FALSE(platform::file_exists(p.backup));
}

TEST(AgentCodex, AFailedWriteKeepsTheOriginalAndItsBackup) {
  Profile p;
  p.put("a = 1\n");
  ASSERT_TRUE(platform::create_dirs(join_path(p.folder, "config.vesk-tmp" + pid())));
  Connection c = p.connect();
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.message.find("(os error "), std::string::npos) << c.message;
  EXPECT_EQ(slurp(p.config), "a = 1\n");
  EXPECT_EQ(slurp(p.backup), "a = 1\n");
}

}  // namespace
}  // namespace vesk::agents
