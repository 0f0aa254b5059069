#include <gtest/gtest.h>

#include "agents/agents.h"
#include "harness.h"
#include "platform/fs.h"

namespace vesk::agents {
namespace {

using platform::join_path;
using vesk::testing::TempDir;

std::string slurp(const std::string& path) {
  auto text = platform::read_file(path);
  return text ? *text : "<missing>";
}

TEST(AgentConfigFile, ReplacesTheLastExtensionOfTheFileName) {
  EXPECT_EQ(replace_extension(".claude.json", "vesk-tmp"), ".claude.vesk-tmp");
  EXPECT_EQ(replace_extension(".claude.json", "json.vesk-backup"), ".claude.json.vesk-backup");
  EXPECT_EQ(replace_extension("config.toml", "vesk-tmp"), "config.vesk-tmp");
  EXPECT_EQ(replace_extension("config.toml", "toml.vesk-backup"), "config.toml.vesk-backup");
  EXPECT_EQ(replace_extension("a.b.c", "x"), "a.b.x");
  // A name whose only dot comes first, or that has none, gets it appended.
  EXPECT_EQ(replace_extension(".bashrc", "vesk-tmp"), ".bashrc.vesk-tmp");
  EXPECT_EQ(replace_extension("README", "vesk-tmp"), "README.vesk-tmp");
  // Dots in the folders do not count.
  std::string folder = join_path("home", "x.d");
  EXPECT_EQ(replace_extension(join_path(folder, ".claude.json"), "vesk-tmp"),
            join_path(folder, ".claude.vesk-tmp"));
  EXPECT_EQ(replace_extension(join_path(folder, "name"), "vesk-tmp"),
            join_path(folder, "name.vesk-tmp"));
  EXPECT_EQ(replace_extension(join_path(folder, ".codex"), "vesk-tmp"),
            join_path(folder, ".codex.vesk-tmp"));
}

TEST(AgentConfigFile, TextReplacesIllFormedBytes) {
  EXPECT_EQ(as_text("C:\\Tools\\v\xC3\xA9sk.exe"), "C:\\Tools\\v\xC3\xA9sk.exe");
  EXPECT_EQ(as_text("a\xFF" "b\xC3"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(AgentConfigFile, WritesAndReplacesWithoutLeavingTheSibling) {
  TempDir dir;
  std::string target = join_path(dir.path(), "config.toml");
  ASSERT_TRUE(write_config_file(target, "first\n"));
  EXPECT_EQ(slurp(target), "first\n");
  ASSERT_TRUE(write_config_file(target, "second"));
  EXPECT_EQ(slurp(target), "second");
  EXPECT_EQ(vesk::testing::names_in(dir.path()), std::vector<std::string>{"config.toml"});
}

TEST(AgentConfigFile, AFailedWriteLeavesTheTargetAsItWas) {
  TempDir dir;
  std::string target = join_path(dir.path(), "config.toml");
  ASSERT_TRUE(platform::write_file(target, "mine"));
  // The sibling cannot be created: a folder has its name.
  ASSERT_TRUE(platform::create_dirs(join_path(dir.path(), "config.vesk-tmp")));
  Status written = write_config_file(target, "new");
  ASSERT_FALSE(written);
  EXPECT_NE(written.message().find("(os error "), std::string::npos) << written.message();
  EXPECT_EQ(slurp(target), "mine");

  // A missing folder fails the same way and creates nothing.
  std::string lost = join_path(join_path(dir.path(), "nowhere"), "config.toml");
  EXPECT_FALSE(write_config_file(lost, "new"));
  EXPECT_FALSE(platform::file_exists(join_path(dir.path(), "nowhere")));
}

TEST(AgentConfigFile, AFailedRenameKeepsTheCompleteSibling) {
  TempDir dir;
  // A folder with something in it cannot be renamed over.
  std::string target = join_path(dir.path(), "config.toml");
  ASSERT_TRUE(platform::create_dirs(join_path(target, "inside")));
  Status written = write_config_file(target, "complete text");
  ASSERT_FALSE(written);
  EXPECT_NE(written.message().find("(os error "), std::string::npos) << written.message();
  EXPECT_EQ(vesk::testing::names_in(target), std::vector<std::string>{"inside"});
  EXPECT_EQ(slurp(join_path(dir.path(), "config.vesk-tmp")), "complete text");
}

TEST(AgentConfigFile, ServerCommandPrefersVeskExeBesideTheProgram) {
  TempDir dir;
  std::string program = join_path(dir.path(), "vesk-other");
  ASSERT_TRUE(platform::write_file(program, "x"));

  LaunchEntry alone = server_command_for(program);
  EXPECT_EQ(alone.command, program);
  EXPECT_EQ(alone.args, std::vector<std::string>{"mcp"});

  std::string beside = join_path(dir.path(), "vesk.exe");
  ASSERT_TRUE(platform::write_file(beside, "x"));
  LaunchEntry preferred = server_command_for(program);
  EXPECT_EQ(preferred.command, beside);
  EXPECT_EQ(preferred.args, std::vector<std::string>{"mcp"});

  LaunchEntry unknown = server_command_for(Error{"no path"});
  EXPECT_EQ(unknown.command, "vesk");
  EXPECT_EQ(unknown.args, std::vector<std::string>{"mcp"});
}

}  // namespace
}  // namespace vesk::agents
