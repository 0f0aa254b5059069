// The bash script run by bash, and the zsh script read by zsh.
#include <gtest/gtest.h>

#include "cli/completion.h"
#include "harness.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::cli {
namespace {

// Writes `shell`'s script into `dir` and returns its path.
std::string script_file(const testing::TempDir& dir, std::string_view shell) {
  std::string path = platform::join_path(dir.path(), "vesk." + std::string(shell));
  EXPECT_TRUE(platform::write_file(path, completion_script(shell).value()));
  return path;
}

TEST(Completion, BashOffersTheTablesChoices) {
  testing::TempDir dir;
  const std::string script = script_file(dir, "bash");
  // The words typed (the last one is being completed) and what bash offers.
  const std::pair<std::string, std::string> rows[] = {
      {"vesk se", "set settings"},
      {"vesk set ",
       "mode preset low_power battery_floor heat_guard only_on_power quiet_minutes "
       "sleep_when_done claude_app check_in_minutes notify_done ntfy_topic"},
      {"vesk set preset ", "max_battery balanced full_speed"},
      {"vesk set low_power o", "on off"},
      {"vesk set battery_floor ", ""},
      {"vesk preset ", "max_battery balanced full_speed"},
      {"vesk preset balanced ", ""},
      {"vesk rule chrome ", "leave slow pause default"},
      {"vesk rule ", ""},
      {"vesk --json check_in 1", "15"},
      {"vesk on ", "until"},
      {"vesk on until 2", "2 20 21 22 23"},
      {"vesk on 30 ", ""},
      {"vesk connect c", "claude claude-code codex copilot cline cursor claude-desktop"},
      {"vesk disconnect w", "windsurf"},
      {"vesk completion ", "bash zsh powershell"},
      {"vesk run ", "--"},
      {"vesk help ru", "run rule"},
      {"vesk -h con", "config connect"},
      {"vesk help run ", ""},
      {"vesk nosuch ", ""},
  };
  for (const auto& [line, offered] : rows) {
    // The words as bash splits the line, with an empty last word after a space.
    std::string words = "(" + line + (line.back() == ' ' ? "''" : "") + ")";
    std::string driver = "source '" + script + "'; COMP_WORDS=" + words +
                         "; COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _vesk; echo \"${COMPREPLY[*]}\"";
    auto run = platform::run_captured("/bin/bash", {"--norc", "-c", driver});
    ASSERT_TRUE(run) << run.message();
    EXPECT_EQ(run->exit_code, 0) << line << ": " << run->err;
    EXPECT_EQ(run->err, "") << line;
    EXPECT_EQ(run->out, offered + "\n") << line;
  }
  // After `run --`: the programs on PATH, as bash completes a command.
  std::string driver = "source '" + script +
                       "'; COMP_WORDS=(vesk run -- bas); COMP_CWORD=3; _vesk; "
                       "printf '%s\\n' \"${COMPREPLY[@]}\"";
  auto programs = platform::run_captured("/bin/bash", {"--norc", "-c", driver});
  ASSERT_TRUE(programs) << programs.message();
  EXPECT_NE(("\n" + programs->out).find("\nbash\n"), std::string::npos) << programs->out;
}

TEST(Completion, ZshReadsItsScript) {
  if (!platform::file_exists("/usr/bin/zsh")) GTEST_SKIP() << "no zsh (scripts/setup.sh installs it)";
  testing::TempDir dir;
  auto run = platform::run_captured("/usr/bin/zsh", {"-n", script_file(dir, "zsh")});
  ASSERT_TRUE(run) << run.message();
  EXPECT_EQ(run->exit_code, 0) << run->err;
  EXPECT_EQ(run->err, "");
}

}  // namespace
}  // namespace vesk::cli
