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

const char kNoAgent[] = "No agent found here. Use: vesk connect claude | codex\n";
const char kClaudeAdded[] =
    "Claude Code: Added to Claude Code for all projects. New sessions can use Vesk.\n";
const char kCodexAdded[] = "Codex: Added to Codex. New sessions can use Vesk.\n";
const char kCodexAlready[] = "Codex: Codex already has Vesk.\n";

TEST(AgentProgram, NoAgentNoChange) {
  AgentProfile p;
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, kNoAgent);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(names_in(p.profile).empty());
  }
  // An unknown target, even with both agents there.
  ASSERT_TRUE(platform::write_file(p.claude(), "{}"));
  ASSERT_TRUE(platform::create_dirs(p.codex_folder()));
  for (const char* target : {"Claude", "gemini", "ALL"}) {
    auto r = p.vesk({"connect", target});
    EXPECT_EQ(r.exit_code, 2) << target;
    EXPECT_EQ(r.out, kNoAgent) << target;
    EXPECT_EQ(r.err, "") << target;
  }
  EXPECT_EQ(p.read(p.claude()), "{}");
  EXPECT_TRUE(names_in(p.codex_folder()).empty());
}

TEST(AgentProgram, ClaudeCodeAloneIsFoundAndKeepsItsSettings) {
  AgentProfile p;
  const std::string original =
      "{\"theme\": \"dark\", \"mcpServers\": {\"other\": {\"command\": \"x\"}}}\n";
  ASSERT_TRUE(platform::write_file(p.claude(), original));
  const std::string expected =
      "{\n  \"mcpServers\": {\n    \"other\": {\n      \"command\": \"x\"\n    },\n" +
      p.claude_entry("    ") + "\n  },\n  \"theme\": \"dark\"\n}";
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kClaudeAdded);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(p.read(p.claude()), expected);
    // The first backup is the original; the second, the first run's result.
    EXPECT_EQ(p.read(p.claude_backup()), run == 0 ? original : expected);
    EXPECT_EQ(names_in(p.profile),
              (std::vector<std::string>{".claude.json", ".claude.json.vesk-backup"}));
  }
}

TEST(AgentProgram, CodexByNameGetsItsFolderAndFile) {
  AgentProfile p;
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect", "codex"});
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
      auto r = p.vesk({"connect", target, "extra"});
      EXPECT_EQ(r.exit_code, 0);
      EXPECT_EQ(r.out, kClaudeAdded);
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(p.read(p.claude()), "{\n  \"mcpServers\": {\n" + p.claude_entry("    ") + "\n  }\n}");
    }
    // No backup of a file that was not there; then one of the first result.
    EXPECT_EQ(p.read(p.claude_backup()), p.read(p.claude()));
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
    auto child = platform::Child::start(p.program, {"connect", "claude"}, env);
    ASSERT_TRUE(child) << child.message();
    running.push_back(std::move(*child));
  }
  for (platform::Child& child : running) {
    auto r = child.wait();
    ASSERT_TRUE(r) << r.message();
    EXPECT_EQ(r->exit_code, 0) << r->err;
  }
  EXPECT_EQ(p.read(p.claude()), "{\n  \"mcpServers\": {\n" + p.claude_entry("    ") + "\n  }\n}");
  EXPECT_EQ(names_in(p.profile),
            (std::vector<std::string>{".claude.json", ".claude.json.vesk-backup"}));
}

TEST(AgentProgram, BothAgentsClaudeFirst) {
  AgentProfile p;
  ASSERT_TRUE(platform::write_file(p.claude(), "{}"));
  ASSERT_TRUE(platform::create_dirs(p.codex_folder()));
  const std::string toml = "model = \"o3\"";  // no line break at the end
  ASSERT_TRUE(platform::write_file(p.codex(), toml));
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect", "all"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, std::string(kClaudeAdded) + (run == 0 ? kCodexAdded : kCodexAlready));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(p.read(p.codex()), toml + p.codex_table());
    EXPECT_EQ(p.read(p.codex_backup()), toml);
  }
}

TEST(AgentProgram, FilesItCannotReadAreLeftAloneAndTheCommandFails) {
  AgentProfile p;
  const std::string json = "{\"a\": 1,}";
  const std::string toml = "name = \"\xE9t\xE9\"\n";  // Latin-1, not UTF-8
  ASSERT_TRUE(platform::write_file(p.claude(), json));
  ASSERT_TRUE(platform::create_dirs(p.codex_folder()));
  ASSERT_TRUE(platform::write_file(p.codex(), toml));
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out, "Claude Code: " + p.claude() + " isn't valid JSON, so I left it alone\n" +
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
  auto r = p.vesk({"connect"});
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
    EXPECT_EQ(r.out, "Claude Code:  claude mcp add vesk -- " + path + " mcp\n" +
                         "Codex:        codex mcp add vesk -- " + path + " mcp\n" +
                         "Gemini CLI:   gemini mcp add vesk " + path + " mcp\n\n" +
                         "Any other MCP client: command " + path +
                         ", argument \"mcp\" (stdio).\n");
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
  EXPECT_EQ(setup.out.substr(0, 38 + p.program.size() + 6),
            "Claude Code:  claude mcp add vesk -- \"" + p.program + "\" mcp\n");

  auto first = p.vesk({"connect", "codex"});
  EXPECT_EQ(first.out, kCodexAdded);
  EXPECT_EQ(p.read(p.codex()), p.codex_table());
  EXPECT_NE(p.read(p.codex()).find("J\xC3\xBCrgen"), std::string::npos);

  // A vesk.exe beside the program is what agents are given from now on;
  // mcp-setup still names the program itself.
  ASSERT_TRUE(platform::write_file(join_path(folder, "vesk.exe"), ""));
  p.command = join_path(folder, "vesk.exe");
  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect", "claude"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kClaudeAdded);
    EXPECT_EQ(p.read(p.claude()), "{\n  \"mcpServers\": {\n" + p.claude_entry("    ") + "\n  }\n}");
  }
  EXPECT_EQ(p.vesk({"mcp-setup"}).out, setup.out);
}

}  // namespace
}  // namespace vesk
