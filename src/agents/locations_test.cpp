#include <gtest/gtest.h>

#include "agents/agents.h"
#include "platform/fs.h"

namespace vesk::agents {
namespace {

using platform::FolderRule;
using platform::join_path;
using platform::UserFolders;

TEST(AgentLocations, TheAgentsVariablesThenTheProfile) {
  const std::string root = platform::kPathSeparator == '\\' ? "C:\\" : "/";
  const std::string u = root + "u", h = root + "h", k = root + "k", c = root + "c",
                    x = root + "x";
  struct Row {
    UserFolders folders;
    FolderRule rule;
    std::string claude;  // the folder of .claude.json; empty: none
    std::string codex;   // Codex's folder; empty: none
  };
  auto with = [](auto setter) {
    UserFolders f;
    setter(f);
    return f;
  };
  const Row rows[] = {
      {with([&](UserFolders& f) { f.userprofile = u; f.home = h; f.known_profile = k; }),
       FolderRule::kPosix, u, join_path(u, ".codex")},
      {with([&](UserFolders& f) { f.home = h; f.known_profile = k; }), FolderRule::kPosix, h,
       join_path(h, ".codex")},
      {with([&](UserFolders& f) { f.home = h; f.known_profile = k; }), FolderRule::kWindows, k,
       join_path(k, ".codex")},
      {with([&](UserFolders& f) { f.home = h; f.claude_config_dir = c; f.codex_home = x; }),
       FolderRule::kPosix, c, x},
      {with([&](UserFolders& f) { f.home = "h"; f.claude_config_dir = "c"; }),
       FolderRule::kPosix, "", ""},
      {UserFolders{}, FolderRule::kWindows, "", ""},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    auto claude = claude_config_path(row.folders, row.rule);
    auto codex = codex_folder(row.folders, row.rule);
    if (row.claude.empty()) {
      EXPECT_FALSE(claude) << "row " << i;
      EXPECT_FALSE(codex) << "row " << i;
      continue;
    }
    ASSERT_TRUE(claude) << "row " << i << ": " << claude.message();
    ASSERT_TRUE(codex) << "row " << i << ": " << codex.message();
    EXPECT_EQ(*claude, join_path(row.claude, ".claude.json")) << "row " << i;
    EXPECT_EQ(*codex, row.codex) << "row " << i;
  }
  EXPECT_EQ(claude_config_path(UserFolders{}, FolderRule::kWindows).message(),
            "couldn't find where Claude Code keeps its settings: set CLAUDE_CONFIG_DIR or "
            "USERPROFILE");
}

}  // namespace
}  // namespace vesk::agents
