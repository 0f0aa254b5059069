// Where `vesk` finds the app folder and the agents' files when started with
// only some variables, as agents and bare shells start it: the built program
// with an environment made from scratch.
#include <gtest/gtest.h>

#include <cstring>

#include "base/json.h"
#include "harness.h"
#include "ipc/app_link.h"
#include "ipc/liveness.h"
#include "platform/clock.h"
#include "platform/fs.h"

extern char** environ;

namespace vesk {
namespace {

using platform::join_path;
using Vars = std::vector<std::pair<std::string, std::string>>;

// Changes that leave a child exactly `vars` and nothing else.
platform::EnvChanges only(const Vars& vars) {
  platform::EnvChanges changes;
  for (char** e = environ; *e != nullptr; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq != nullptr) changes.emplace_back(std::string(*e, static_cast<size_t>(eq - *e)), std::nullopt);
  }
  for (const auto& [name, value] : vars) changes.emplace_back(name, value);
  return changes;
}

platform::CapturedRun vesk(const std::vector<std::string>& args, const Vars& vars,
                           const std::string& input = {}) {
  auto run = platform::run_captured(testing::built_program("vesk"), args, only(vars), input);
  if (!run) ADD_FAILURE() << "vesk did not run: " << run.message();
  return run ? *run : platform::CapturedRun{-1, "", ""};
}

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(FoldersProgram, AppFolderFromEveryCombinationOfTheVariables) {
  testing::TempDir dir;
  // Each variable unset, empty or a folder: 81 environments.
  const char* names[] = {"APPDATA", "USERPROFILE", "XDG_CONFIG_HOME", "HOME"};
  const char* below[] = {"", "AppData/Roaming", "", ".config"};
  for (int combination = 0; combination < 81; ++combination) {
    Vars vars{{"PATH", "/usr/bin:/bin"}};
    std::string want;  // the first variable that names a folder decides
    for (int v = 0, rest = combination; v < 4; ++v, rest /= 3) {
      if (rest % 3 == 0) continue;
      std::string value = rest % 3 == 1 ? "" : join_path(dir.path(), names[v]);
      vars.emplace_back(names[v], value);
      if (want.empty() && !value.empty()) {
        want = join_path(*below[v] ? join_path(value, below[v]) : value, "Vesk");
      }
    }
    auto run = vesk({"doctor"}, vars);
    if (want.empty()) {
      EXPECT_EQ(run.exit_code, 2) << combination;
      EXPECT_EQ(run.err, "vesk: can't tell where Vesk keeps its files: set HOME\n") << combination;
    } else {
      EXPECT_EQ(first_line(run.out), "Vesk folder: " + want) << combination;
      EXPECT_TRUE(platform::file_exists(want)) << combination;
    }
  }
  // A relative value counts as unset.
  auto run = vesk({"doctor"}, {{"APPDATA", "relative"}, {"HOME", dir.path()}});
  EXPECT_EQ(first_line(run.out), "Vesk folder: " + join_path(dir.path(), ".config/Vesk"));
  EXPECT_FALSE(platform::file_exists("relative"));
}

TEST(FoldersProgram, NoFolderFailsWhereOneIsNeededAndCreatesNothing) {
  const Vars none{{"PATH", "/usr/bin:/bin"}, {"APPDATA", ""}, {"HOME", ""}};
  const char kMessage[] = "vesk: can't tell where Vesk keeps its files: set HOME\n";
  for (const char* word : {"status", "on", "doctor", "rescue", "mcp", "settings"}) {
    auto run = vesk({word}, none);
    EXPECT_EQ(run.exit_code, 2) << word;
    EXPECT_EQ(run.out, "") << word;
    EXPECT_EQ(run.err, kMessage) << word;
  }
  for (const char* word : {"help", "version", "mcp-setup", "prompt"}) {
    auto run = vesk({word}, none);
    EXPECT_EQ(run.exit_code, 0) << word;
    EXPECT_EQ(run.err, "") << word;
  }
  // `run` still runs its command, without keeping awake.
  auto run = vesk({"run", "--", "true"}, none);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err,
            "vesk: not keeping awake (can't tell where Vesk keeps its files: set HOME); "
            "running anyway\n");
  // Nothing relative to the current folder.
  EXPECT_FALSE(platform::file_exists("AppData"));
  EXPECT_FALSE(platform::file_exists(".config"));
  EXPECT_FALSE(platform::file_exists(".claude.json"));
  // Connecting an agent needs a folder too, and says which variable to set.
  auto connect = vesk({"connect", "claude"}, none);
  EXPECT_EQ(connect.exit_code, 2);
  EXPECT_EQ(connect.out, "");
  EXPECT_EQ(connect.err,
            "vesk: couldn't find where Claude Code keeps its settings: set "
            "CLAUDE_CONFIG_DIR or HOME\n");
  // Also when looking for every agent.
  auto all = vesk({"connect"}, none);
  EXPECT_EQ(all.exit_code, 2);
  EXPECT_EQ(all.err, connect.err);
}

// The folder that CLAUDE_CONFIG_DIR names is made like CODEX_HOME's; one that
// is a file is reported with its name.
TEST(FoldersProgram, AgentVariablesNamingMissingFoldersOrFiles) {
  testing::TempDir dir;
  const std::string c = join_path(dir.path(), "claude"), x = join_path(dir.path(), "codex");
  auto run = vesk({"connect", "claude"}, {{"HOME", dir.path()}, {"CLAUDE_CONFIG_DIR", c}});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_TRUE(platform::file_exists(join_path(c, ".claude.json")));
  run = vesk({"connect", "codex"}, {{"HOME", dir.path()}, {"CODEX_HOME", x}});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_TRUE(platform::file_exists(join_path(x, "config.toml")));

  const std::string file = join_path(dir.path(), "a-file");
  ASSERT_TRUE(platform::write_file(file, "x"));
  run = vesk({"connect", "claude"}, {{"HOME", dir.path()}, {"CLAUDE_CONFIG_DIR", file}});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.out.rfind("Claude Code: couldn't ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find(file), std::string::npos) << run.out;
  // .claude.json that is a folder.
  ASSERT_TRUE(platform::create_dirs(join_path(dir.path(), ".claude.json")));
  run = vesk({"connect", "claude"}, {{"HOME", dir.path()}});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_EQ(run.out, "Claude Code: " + join_path(dir.path(), ".claude.json") +
                        " isn't a regular file, so I left it alone\n");
}

TEST(FoldersProgram, AgentFilesWhereTheAgentsReadThem) {
  testing::TempDir dir;
  const std::string h = join_path(dir.path(), "home"), c = join_path(dir.path(), "claude"),
                    x = join_path(dir.path(), "codex");
  ASSERT_TRUE(platform::create_dirs(h));
  // Only HOME: the profile's files.
  auto run = vesk({"connect", "claude"}, {{"HOME", h}});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_TRUE(platform::file_exists(join_path(h, ".claude.json")));
  run = vesk({"connect", "codex"}, {{"HOME", h}});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_TRUE(platform::file_exists(join_path(h, ".codex/config.toml")));
  // The agents' own variables come first; `connect` alone finds Codex by
  // the folder that holds its file.
  ASSERT_TRUE(platform::create_dirs(c));
  ASSERT_TRUE(platform::create_dirs(x));
  ASSERT_TRUE(platform::write_file(join_path(c, ".claude.json"), "{}"));
  run = vesk({"connect"}, {{"HOME", h}, {"CLAUDE_CONFIG_DIR", c}, {"CODEX_HOME", x}});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  auto claude = platform::read_file(join_path(c, ".claude.json"));
  ASSERT_TRUE(claude);
  EXPECT_NE(claude->find("\"vesk\""), std::string::npos);
  EXPECT_TRUE(platform::file_exists(join_path(x, "config.toml")));
}

// Codex starts MCP servers with a filtered environment; the server must
// still meet the tray app that the user started from a full one.
TEST(FoldersProgram, ServerStartedByCodexFindsTheTrayApp) {
  testing::TempDir dir;
  const std::string home = join_path(dir.path(), "home");
  const std::string folder = join_path(home, ".config/Vesk");
  platform::EnvChanges full{{"HOME", home},           {"APPDATA", std::nullopt},
                            {"USERPROFILE", std::nullopt}, {"XDG_CONFIG_HOME", std::nullopt}};
  auto standin = platform::Child::start(testing::built_program("vesk-standin"), {}, full);
  ASSERT_TRUE(standin) << standin.message();
  for (int i = 0; i < 300 && !ipc::app_alive(folder); ++i) platform::sleep_ms(20);
  ASSERT_TRUE(ipc::app_alive(folder));

  auto run = vesk({"mcp"},
                  {{"HOME", home}, {"LANG", "C.UTF-8"}, {"PATH", "/usr/bin:/bin"},
                   {"SHELL", "/bin/sh"}, {"TERM", "dumb"}, {"TMPDIR", dir.path()}},
                  "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"tools/call\",\"params\":{"
                  "\"name\":\"stay_awake\",\"arguments\":{\"reason\":\"codex\"}}}\n");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("\"isError\":false"), std::string::npos) << run.out;

  auto quit = ipc::app_request(folder, "quit", Json::object(), 5);
  ASSERT_TRUE(quit) << quit.message();
  EXPECT_TRUE(standin->wait());
}

}  // namespace
}  // namespace vesk
