#include "cli/agents_commands.h"

#include <gtest/gtest.h>

#include "cli_fake.h"

namespace vesk::cli {
namespace {

const char kNoAgent[] = "No agent found here. Use: vesk connect claude | codex\n";

TEST(AgentCommands, WhichAgentsAreAskedAndTheStatus) {
  struct Row {
    const char* target;
    bool claude_here, codex_here, claude_ok, codex_ok;
    const char* calls;  // what was asked, in order
    const char* out;
    int status;
  };
  const Row rows[] = {
      {"all", true, true, true, true, "C? C X? X", "Claude Code: c\nCodex: x\n", 0},
      {"all", false, true, true, true, "C? X? X", "Codex: x\n", 0},
      {"all", true, false, true, true, "C? C X?", "Claude Code: c\n", 0},
      {"all", false, false, true, true, "C? X?", kNoAgent, 2},
      // A named agent is connected without looking for it first.
      {"claude", false, false, true, true, "C", "Claude Code: c\n", 0},
      {"claude-code", false, false, true, true, "C", "Claude Code: c\n", 0},
      {"codex", false, false, true, true, "X", "Codex: x\n", 0},
      {"Claude", true, true, true, true, "", kNoAgent, 2},
      {"ALL", true, true, true, true, "", kNoAgent, 2},
      {"", true, true, true, true, "", kNoAgent, 2},
      // A file left alone fails the command, even when the other agent worked.
      {"all", true, true, false, true, "C? C X? X", "Claude Code: c\nCodex: x\n", 2},
      {"codex", true, true, true, false, "X", "Codex: x\n", 2},
  };
  for (const Row& row : rows) {
    std::string calls;
    auto note = [&](const char* what) { calls += calls.empty() ? what : std::string(" ") + what; };
    AgentOps ops{
        [&] { note("C?"); return row.claude_here; },
        [&] { note("C"); return agents::Connection{row.claude_ok, "c"}; },
        [&] { note("X?"); return row.codex_here; },
        [&] { note("X"); return agents::Connection{row.codex_ok, "x"}; },
    };
    testing::RecordingIo io;
    int status = connect_agents(row.target, ops, io);
    SCOPED_TRACE(std::string(row.target) + " " + row.calls);
    EXPECT_EQ(calls, row.calls);
    EXPECT_EQ(io.out_, row.out);
    EXPECT_EQ(io.err_, "");
    EXPECT_EQ(status, row.status);
  }
}

TEST(AgentCommands, SetupLinesKeepThePathAsItIs) {
  EXPECT_EQ(mcp_setup_text("C:\\Program Files\\Vesk\\vesk.exe"),
            "Claude Code:  claude mcp add vesk -- \"C:\\Program Files\\Vesk\\vesk.exe\" mcp\n"
            "Codex:        codex mcp add vesk -- \"C:\\Program Files\\Vesk\\vesk.exe\" mcp\n"
            "Gemini CLI:   gemini mcp add vesk \"C:\\Program Files\\Vesk\\vesk.exe\" mcp\n"
            "\n"
            "Any other MCP client: command \"C:\\Program Files\\Vesk\\vesk.exe\", argument "
            "\"mcp\" (stdio).\n");
}

}  // namespace
}  // namespace vesk::cli
