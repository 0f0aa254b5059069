#include "cli/completion.h"

#include <gtest/gtest.h>

#include "cli_fake.h"

namespace vesk::cli {
namespace {

TEST(Completion, EachShellPrintsItsScriptWithoutAnAppFolder) {
  for (std::string_view shell : kShells) {
    testing::RecordingIo io;
    int status = run_cli({"completion", std::string(shell)}, "", io, nullptr, nullptr,
                         "no app folder");
    EXPECT_EQ(status, 0) << shell;
    EXPECT_EQ(io.err_, "") << shell;
    EXPECT_EQ(io.out_, completion_script(shell).value()) << shell;
  }
  EXPECT_EQ(completion_script("fish"), std::nullopt);
  EXPECT_EQ(completion_script(""), std::nullopt);
}

// The PowerShell script offers what the bash script is checked for by
// running it: command words, setting keys, a key's values and the fixed
// choices of `preset`, `rule`, `check-in`, `connect`, `on until` and `help`.
TEST(Completion, PowerShellScriptNamesTheChoices) {
  const std::string script = completion_script("powershell").value();
  const std::string_view expected[] = {
      "Register-ArgumentCompleter -Native -CommandName 'vesk', 'vesk.exe'",
      "$choices = @('status', 'help', 'version', 'on', 'auto', 'off', 'hold', 'release', "
      "'wake-at', 'check-in', 'sleep', 'run', 'preset', 'rule', 'watch', 'set', 'settings', "
      "'power', 'energy', 'config', 'mcp', 'hook', 'mcp-setup', 'connect', 'disconnect', "
      "'prompt', 'doctor', "
      "'rescue', 'install', 'uninstall', 'completion')",
      "'set/0/*' { $choices = @('mode', 'preset', 'low_power', 'battery_floor', 'heat_guard', "
      "'only_on_power', 'quiet_minutes', 'sleep_when_done', 'claude_app', 'check_in_minutes', "
      "'notify_done', 'ntfy_topic') }",
      "'set/1/preset' { $choices = @('max_battery', 'balanced', 'full_speed') }",
      "'set/1/low_power' { $choices = @('on', 'off') }",
      "'set/1/mode' { $choices = @('auto', 'always', 'off') }",
      "'preset/0/*' { $choices = @('max_battery', 'balanced', 'full_speed') }",
      "'rule/1/*' { $choices = @('leave', 'slow', 'pause', 'default') }",
      "'check_in/0/*' { $choices = @('0', '15', '30', '60') }",
      "'connect/0/*' { $choices = @('all', 'claude', 'claude-code', 'codex', 'gemini', 'qwen', "
      "'copilot', 'opencode', 'kilo', 'cline', 'cursor', 'windsurf', 'vscode', "
      "'claude-desktop') }",
      "'disconnect/0/*' { $choices = @('all', 'claude', 'claude-code', 'codex', 'gemini',",
      "'on/0/*' { $choices = @('until') }",
      "'on/1/until' { $choices = @('0', '1', '2',",
      "'completion/0/*' { $choices = @('bash', 'zsh', 'powershell') }",
      "'help/0/*' { $choices = @('status', 'help', 'version', 'on',",
      "elseif (@('run') -ccontains $cmd)",
      "$PROFILE",
  };
  for (std::string_view line : expected) {
    EXPECT_NE(script.find(line), std::string::npos) << line;
  }
  // Numbers and words only: no setting key takes a range as a completion.
  EXPECT_EQ(script.find("'set/1/battery_floor'"), std::string::npos);
  EXPECT_EQ(script.find("'set/1/ntfy_topic'"), std::string::npos);
}

}  // namespace
}  // namespace vesk::cli
