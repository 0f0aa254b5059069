// Runs the built `vesk` with USERPROFILE pointing at a temporary profile and
// checks what `connect`, `mcp-setup` and `prompt` print and write. Every
// command runs twice: the second run must say and leave the same.
#include <gtest/gtest.h>

#include "agents_files.h"
#include "harness.h"
#include "mcp/tools.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk {
namespace {

using platform::join_path;
using testing::AgentProfile;
using testing::names_in;

const std::string kWords =
    "all | claude | codex | gemini | qwen | copilot | opencode | kilo | cline | cursor | "
    "windsurf | vscode | claude-desktop";
// Every word an agent goes by, as an unknown one lists them.
const std::string kEveryWord =
    "all | claude | claude-code | codex | gemini | qwen | copilot | opencode | kilo | cline | "
    "cursor | windsurf | vscode | claude-desktop";
const std::string kNoAgent = "No agent found here. Use: vesk connect " + kWords + "\n";
const char kClaudeAdded[] =
    "Claude Code: Added to Claude Code for all projects. New sessions can use Vesk.\n";
const char kCodexAdded[] = "Codex: Added to Codex. New sessions can use Vesk.\n";
const char kCodexAlready[] = "Codex: Codex already has Vesk.\n";
const char kClaudeAlready[] = "Claude Code: Claude Code already has Vesk.\n";

TEST(AgentProgram, NoAgentNoChange) {
  AgentProfile p;
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect", "--no-hooks"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, kNoAgent);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(names_in(p.profile).empty());
  }
  // An unknown target, even with both agents there.
  ASSERT_TRUE(platform::write_file(p.claude(), "{}"));
  ASSERT_TRUE(platform::create_dirs(p.codex_folder()));
  for (const char* target : {"Claude", "bogus", "ALL"}) {
    auto r = p.vesk({"connect", "--no-hooks", target});
    EXPECT_EQ(r.exit_code, 2) << target;
    EXPECT_EQ(r.out, "") << target;
    EXPECT_EQ(r.err, "vesk: no agent is called \"" + std::string(target) +
                         "\". Use: vesk connect " + kEveryWord + "\n")
        << target;
  }
  EXPECT_EQ(p.read(p.claude()), "{}");
  EXPECT_TRUE(names_in(p.codex_folder()).empty());
}

TEST(AgentProgram, ClaudeCodeAloneIsFoundAndKeepsItsSettings) {
  AgentProfile p;
  const std::string original =
      "{\"theme\": \"dark\", \"mcpServers\": {\"other\": {\"command\": \"x\"}}}\n";
  ASSERT_TRUE(platform::write_file(p.claude(), original));
  // Only the new member is written; every other byte stays.
  const std::string expected = "{\"theme\": \"dark\", \"mcpServers\": {\"other\": {\"command\": "
                               "\"x\"}, " + p.claude_inline() + "}}\n";
  for (int run = 0; run < 3; ++run) {
    auto r = p.vesk({"connect", "--no-hooks"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, run == 0 ? kClaudeAdded : kClaudeAlready);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(p.read(p.claude()), expected);
    // One backup, of the original; nothing written once Vesk is there.
    EXPECT_EQ(p.read(p.claude_backup()), original);
    EXPECT_EQ(names_in(p.profile),
              (std::vector<std::string>{".claude.json", ".claude.json.vesk-backup"}));
  }
}

TEST(AgentProgram, CodexByNameGetsItsFolderAndFile) {
  AgentProfile p;
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect", "--no-hooks", "codex"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, run == 0 ? kCodexAdded : kCodexAlready);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(p.read(p.codex()), p.codex_table());
    EXPECT_EQ(names_in(p.codex_folder()), std::vector<std::string>{"config.toml"});
  }
  EXPECT_EQ(names_in(p.profile), std::vector<std::string>{".codex"});
}

TEST(AgentProgram, ClaudeByNameMakesTheFile) {
  for (const char* target : {"claude", "claude-code"}) {
    AgentProfile p;
    for (int run = 0; run < 2; ++run) {
      auto r = p.vesk({"connect", "--no-hooks", target, "extra"});
      EXPECT_EQ(r.exit_code, 0);
      EXPECT_EQ(r.out, run == 0 ? kClaudeAdded : kClaudeAlready);
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(p.read(p.claude()), p.claude_file());
    }
    // No backup of a file that was not there, nor of one left as it was.
    EXPECT_EQ(names_in(p.profile), std::vector<std::string>{".claude.json"});
  }
}

// Two at once: each replaces the file whole, so one complete file is left
// and no temporary.
TEST(AgentProgram, TwoConnectsAtOnceLeaveOneCompleteFile) {
  AgentProfile p;
  ASSERT_TRUE(platform::write_file(p.claude(), "{}"));
  platform::EnvChanges env = p.sandbox.env();
  env.emplace_back("USERPROFILE", p.profile);
  std::vector<platform::Child> running;
  for (int i = 0; i < 2; ++i) {
    auto child = platform::Child::start(p.program, {"connect", "--no-hooks", "claude"}, env);
    ASSERT_TRUE(child) << child.message();
    running.push_back(std::move(*child));
  }
  for (platform::Child& child : running) {
    auto r = child.wait();
    ASSERT_TRUE(r) << r.message();
    EXPECT_EQ(r->exit_code, 0) << r->err;
  }
  EXPECT_EQ(p.read(p.claude()), "{\"mcpServers\": { " + p.claude_inline() + " }}");
  // The second may have found Vesk there already, or backed up the "{}"
  // too, beside the first's backup.
  for (const std::string& name : names_in(p.profile)) {
    EXPECT_TRUE(name == ".claude.json" || name.rfind(".claude.json.vesk-backup", 0) == 0) << name;
    if (name != ".claude.json") {
      EXPECT_EQ(p.read(join_path(p.profile, name)), "{}");
    }
  }
}

TEST(AgentProgram, BothAgentsClaudeFirst) {
  AgentProfile p;
  ASSERT_TRUE(platform::write_file(p.claude(), "{}"));
  ASSERT_TRUE(platform::create_dirs(p.codex_folder()));
  const std::string toml = "model = \"o3\"";  // no line break at the end
  ASSERT_TRUE(platform::write_file(p.codex(), toml));
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect", "--no-hooks", "all"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, run == 0 ? std::string(kClaudeAdded) + kCodexAdded
                              : std::string(kClaudeAlready) + kCodexAlready);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(p.read(p.codex()), toml + p.codex_table());
    EXPECT_EQ(p.read(p.codex_backup()), toml);
  }
}

TEST(AgentProgram, FilesItCannotReadAreLeftAloneAndTheCommandFails) {
  AgentProfile p;
  const std::string json = "{\"a\": 1,,}";
  const std::string toml = "name = \"\xE9t\xE9\"\n";  // Latin-1, not UTF-8
  ASSERT_TRUE(platform::write_file(p.claude(), json));
  ASSERT_TRUE(platform::create_dirs(p.codex_folder()));
  ASSERT_TRUE(platform::write_file(p.codex(), toml));
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect", "--no-hooks"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "Claude Code: " + p.claude() +
                         " isn't valid JSON (line 1, column 9: a member name should be here), so "
                         "I left it alone\n" +
                         "Codex: " + p.codex() + " isn't UTF-8 text, so I left it alone\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(p.read(p.claude()), json);
    EXPECT_EQ(p.read(p.codex()), toml);
    EXPECT_EQ(names_in(p.profile), (std::vector<std::string>{".claude.json", ".codex"}));
    EXPECT_EQ(names_in(p.codex_folder()), std::vector<std::string>{"config.toml"});
  }

  // One agent failing fails the command, though the other was connected.
  ASSERT_TRUE(platform::write_file(p.claude(), "[]"));
  ASSERT_TRUE(platform::write_file(p.codex(), ""));
  auto r = p.vesk({"connect", "--no-hooks"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out, "Claude Code: " + p.claude() + " isn't a JSON object, so I left it alone\n" +
                       kCodexAdded);
  EXPECT_EQ(p.read(p.claude()), "[]");
  EXPECT_EQ(p.read(p.codex()), p.codex_table());
}

TEST(AgentProgram, SetupLinesNameThisProgram) {
  AgentProfile p;
  const std::string path = "\"" + p.program + "\"";
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"mcp-setup", "extra"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Claude Code:  claude mcp add -s user vesk -- " + path + " mcp\n" +
                         "Codex:        codex mcp add vesk -- " + path + " mcp\n" +
                         "Gemini CLI:   gemini mcp add -s user vesk " + path + " mcp\n\n" +
                         "Any other MCP client: command " + path +
                         ", argument \"mcp\" (stdio).\n" +
                         "Or let Vesk add itself: vesk connect " + kWords + "\n"
                         "That also adds the agents' hooks, which keep the laptop awake exactly "
                         "while an agent works (vesk connect --no-hooks: the MCP server only).\n");
    EXPECT_EQ(r.err, "");
  }
  EXPECT_TRUE(names_in(p.profile).empty());
}

TEST(AgentProgram, Prompt) {
  AgentProfile p;
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"prompt"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, std::string(mcp::setup_prompt()) + "\n");
    EXPECT_EQ(r.out.substr(0, 33), "Vesk is installed on this laptop.");
    EXPECT_EQ(r.err, "");
  }
}

TEST(AgentProgram, ACopyElsewhereRegistersVeskExeBesideItWhenThere) {
  AgentProfile p;
  // A folder name with a space and a non-ASCII letter, printed unchanged.
  ASSERT_TRUE(p.use_copy("bin J\xC3\xBCrgen", std::string("vesk-copy") + platform::kExeSuffix));
  const std::string folder = join_path(p.sandbox.root(), "bin J\xC3\xBCrgen");

  auto setup = p.vesk({"mcp-setup"});
  EXPECT_EQ(setup.exit_code, 0);
  EXPECT_EQ(setup.out.substr(0, 46 + p.program.size() + 6),
            "Claude Code:  claude mcp add -s user vesk -- \"" + p.program + "\" mcp\n");

  auto first = p.vesk({"connect", "--no-hooks", "codex"});
  EXPECT_EQ(first.out, kCodexAdded);
  EXPECT_EQ(p.read(p.codex()), p.codex_table());
  EXPECT_NE(p.read(p.codex()).find("J\xC3\xBCrgen"), std::string::npos);

  // A vesk.exe beside the program is what agents are given from now on;
  // mcp-setup still names the program itself.
  ASSERT_TRUE(platform::write_file(join_path(folder, "vesk.exe"), ""));
  p.command = join_path(folder, "vesk.exe");
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect", "--no-hooks", "claude"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, run == 0 ? kClaudeAdded : kClaudeAlready);
    EXPECT_EQ(p.read(p.claude()), p.claude_file());
  }
  // The Codex entry still starts the program itself: it is updated in place.
  auto moved = p.vesk({"connect", "--no-hooks", "codex"});
  EXPECT_EQ(moved.out, "Codex: Updated Vesk in Codex: it started " + p.program +
                           ". New sessions can use Vesk.\n");
  EXPECT_EQ(p.read(p.codex()), p.codex_table());
  EXPECT_EQ(p.vesk({"mcp-setup"}).out, setup.out);
}

}  // namespace
}  // namespace vesk
