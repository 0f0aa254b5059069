#include <gtest/gtest.h>

#include "agents/agents.h"
#include "harness.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::agents {
namespace {

using platform::join_path;
using vesk::testing::TempDir;

std::string slurp(const std::string& path) {
  auto text = platform::read_file(path);
  return text ? *text : "<missing>";
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
  std::string sibling = "config.vesk-tmp" + std::to_string(platform::current_pid());
  ASSERT_TRUE(platform::create_dirs(join_path(dir.path(), sibling)));
  Status written = write_config_file(target, "new");
  ASSERT_FALSE(written);
  EXPECT_NE(written.message().find("(os error "), std::string::npos) << written.message();
  EXPECT_EQ(slurp(target), "mine");

  // A missing folder fails the same way and creates nothing.
  std::string lost = join_path(join_path(dir.path(), "nowhere"), "config.toml");
  EXPECT_FALSE(write_config_file(lost, "new"));
  EXPECT_FALSE(platform::file_exists(join_path(dir.path(), "nowhere")));
}

TEST(AgentConfigFile, AFailedRenameRemovesTheSibling) {
  TempDir dir;
  // A folder with something in it cannot be renamed over.
  std::string target = join_path(dir.path(), "config.toml");
  ASSERT_TRUE(platform::create_dirs(join_path(target, "inside")));
  Status written = write_config_file(target, "complete text");
  ASSERT_FALSE(written);
  EXPECT_NE(written.message().find("(os error "), std::string::npos) << written.message();
  EXPECT_EQ(vesk::testing::names_in(target), std::vector<std::string>{"inside"});
  EXPECT_EQ(vesk::testing::names_in(dir.path()), std::vector<std::string>{"config.toml"});
}

TEST(AgentConfigFile, TheLastLookComesAfterTheSiblingIsCompleteAndCanStopTheWrite) {
  TempDir dir;
  std::string target = join_path(dir.path(), "config.toml");
  ASSERT_TRUE(platform::write_file(target, "mine"));
  std::string sibling =
      join_path(dir.path(), "config.vesk-tmp" + std::to_string(platform::current_pid()));
  const Result<bool> answers[] = {false, Error{"no look"}, true};
  for (const Result<bool>& answer : answers) {
    std::string seen;
    auto written = write_config_file(target, "new", target, [&]() -> Result<bool> {
      seen = slurp(sibling);
      return answer;
    });
    EXPECT_EQ(seen, "new");
    EXPECT_EQ(written.ok(), answer.ok());
    if (!answer) {
      EXPECT_EQ(written.message(), "no look");
    } else {
      EXPECT_EQ(*written, *answer);
    }
    EXPECT_EQ(slurp(target), answer && *answer ? "new" : "mine");
    EXPECT_EQ(vesk::testing::names_in(dir.path()), std::vector<std::string>{"config.toml"});
  }
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
