#include "cli/agents_commands.h"

#include <gtest/gtest.h>

#include "cli_fake.h"
#include "harness.h"
#include "platform/fs.h"

namespace vesk::cli {
namespace {

using platform::join_path;

const std::string kWords =
    "all | claude | codex | gemini | qwen | copilot | opencode | kilo | cline | cursor | "
    "windsurf | vscode | claude-desktop";
// Every word an agent goes by, as an unknown one lists them.
const std::string kEveryWord =
    "all | claude | claude-code | codex | gemini | qwen | copilot | opencode | kilo | cline | "
    "cursor | windsurf | vscode | claude-desktop";

// A profile folder as every agent row reads it, on this platform's rule.
struct World {
  vesk::testing::TempDir dir;
  AgentWorld world{env(), agents::system_probe(), agents::system_files(),
                   {join_path(dir.path(), "vesk"), {"mcp"}}};

  agents::AgentEnv env() const {
    agents::AgentEnv e;
    e.folders.userprofile = dir.path();
    e.folders.home = dir.path();
    e.folders.appdata = join_path(dir.path(), "Roaming");
    e.folders.localappdata = join_path(dir.path(), "Local");
    return e;
  }
  std::string path(std::initializer_list<std::string_view> names) const {
    std::string out = dir.path();
    for (std::string_view name : names) out = join_path(out, name);
    return out;
  }
  void folder(std::initializer_list<std::string_view> names) const {
    ASSERT_TRUE(platform::create_dirs(path(names)));
  }
  void file(std::initializer_list<std::string_view> names, const std::string& text) const {
    ASSERT_TRUE(platform::create_dirs(std::string(platform::parent_folder(path(names)))));
    ASSERT_TRUE(platform::write_file(path(names), text));
  }
  std::string read(std::initializer_list<std::string_view> names) const {
    auto text = platform::read_file(path(names));
    return text ? *text : "<missing>";
  }
};

struct Outcome3 {
  int status;
  std::string out, err;
};

// The MCP entries alone; the hooks have tests of their own.
Outcome3 connect(const World& w, std::string_view target, bool hooks = false) {
  testing::RecordingIo io;
  int status = connect_agents(target, w.world, io, hooks);
  return {status, io.out_, io.err_};
}

Outcome3 disconnect(const World& w, std::string_view target) {
  testing::RecordingIo io;
  int status = disconnect_agents(target, w.world, io);
  return {status, io.out_, io.err_};
}

TEST(AgentCommands, ConnectAllFindsTheAgentsHere) {
  World w;
  Outcome3 none = connect(w, "all");
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.out, "No agent found here. Use: vesk connect " + kWords + "\n");
  EXPECT_EQ(none.err, "");

  w.file({".claude.json"}, "{}");
  w.folder({".codex"});
  w.folder({".cursor"});
  Outcome3 all = connect(w, "all");
  EXPECT_EQ(all.status, 0);
  EXPECT_EQ(all.out,
            "Claude Code: Added to Claude Code for all projects. New sessions can use Vesk.\n"
            "Codex: Added to Codex. New sessions can use Vesk.\n"
            "Cursor: Added to Cursor. New sessions can use Vesk.\n");
  Outcome3 again = connect(w, "all");
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out,
            "Claude Code: Claude Code already has Vesk.\nCodex: Codex already has Vesk.\n"
            "Cursor: Cursor already has Vesk.\n");

  // A file left alone fails the command, the others still done.
  w.file({".claude.json"}, "{");
  Outcome3 broken = connect(w, "all");
  EXPECT_EQ(broken.status, 2);
  EXPECT_EQ(broken.out.rfind("Claude Code: " + w.path({".claude.json"}) + " isn't valid JSON", 0), 0u)
      << broken.out;
  EXPECT_NE(broken.out.find("Cursor: Cursor already has Vesk.\n"), std::string::npos);
}

TEST(AgentCommands, ANamedAgentIsCreatedAndAnUnknownOneIsAUsageError) {
  World w;
  Outcome3 named = connect(w, "windsurf");
  EXPECT_EQ(named.status, 0);
  EXPECT_EQ(named.out, "Windsurf: Added to Windsurf. New sessions can use Vesk.\n");
  EXPECT_NE(w.read({".codeium", "windsurf", "mcp_config.json"}).find("\"vesk\""), std::string::npos);
  // The bad word quoted as an unknown command is, escapes and all.
  const std::pair<std::string_view, std::string> words[] = {
      {"bogus", "\"bogus\""}, {"Claude", "\"Claude\""},     {"ALL", "\"ALL\""},
      {"", "\"\""},           {"a\"b\tc", "\"a\\\"b\\tc\""}, {"claude code", "\"claude code\""},
  };
  for (const auto& [word, quoted] : words) {
    Outcome3 bad = connect(w, word);
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err,
              "vesk: no agent is called " + quoted + ". Use: vesk connect " + kEveryWord + "\n");
    EXPECT_EQ(disconnect(w, word).err, "vesk: no agent is called " + quoted +
                                           ". Use: vesk disconnect " + kEveryWord + "\n");
  }
}

TEST(AgentCommands, WithNoProfileItSaysWhatToSet) {
  World w;
  w.world.env = agents::AgentEnv{};
  w.world.env.rule = platform::FolderRule::kPosix;
  Outcome3 run = connect(w, "all");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "vesk: couldn't find where Claude Code keeps its settings: set "
                     "CLAUDE_CONFIG_DIR or HOME\n");
  EXPECT_EQ(connect(w, "cursor").err,
            "vesk: couldn't find where Cursor keeps its settings: set HOME\n");
}

TEST(AgentCommands, DisconnectOneOrAll) {
  World w;
  EXPECT_EQ(disconnect(w, "all").out, "No agent here has a settings file, so none has Vesk.\n");
  w.file({".gemini", "settings.json"}, "{\n  // mine\n  \"mcpServers\": {}\n}\n");
  w.file({".cursor", "mcp.json"}, "{}");
  ASSERT_EQ(connect(w, "gemini").status, 0);
  Outcome3 one = disconnect(w, "all");
  EXPECT_EQ(one.status, 0);
  EXPECT_EQ(one.out, "Gemini CLI: Took Vesk out of Gemini CLI.\nCursor: Cursor didn't have Vesk.\n");
  EXPECT_EQ(w.read({".gemini", "settings.json"}), "{\n  // mine\n  \"mcpServers\": {}\n}\n");
  // Another program's entry goes when asked, and the line says whose it was.
  w.file({".codeium", "windsurf", "mcp_config.json"},
         "{\"mcpServers\": {\"vesk\": {\"command\": \"/else/vesk\"}}}");
  EXPECT_EQ(disconnect(w, "windsurf").out,
            "Windsurf: Took Vesk out of Windsurf (its entry started /else/vesk).\n");
  w.file({".cursor", "mcp.json"}, "{,}");
  Outcome3 failed = disconnect(w, "cursor");
  EXPECT_EQ(failed.status, 2);
  EXPECT_EQ(failed.out.rfind("Cursor: " + w.path({".cursor", "mcp.json"}) + " isn't valid JSON", 0),
            0u);
}

TEST(AgentCommands, UninstallTakesOutOnlyThisProgram) {
  World w;
  w.file({".claude.json"}, "{}");
  w.folder({".codex"});
  ASSERT_EQ(connect(w, "all").status, 0);
  // Cursor starts another program: not ours to take out.
  w.file({".cursor", "mcp.json"}, "{\"mcpServers\": {\"vesk\": {\"command\": \"/else/vesk\"}}}");
  // A vesk.exe beside this program counts as this program.
  w.file({".gemini", "settings.json"},
         "{\"mcpServers\": {\"vesk\": {\"command\": " + Json(w.path({"vesk.exe"})).dump() +
             "}}}");
  // OpenCode reads config.json too, though a new entry would go in opencode.json.
  w.file({".config", "opencode", "opencode.json"}, "{}");
  w.file({".config", "opencode", "config.json"},
         "{\"mcp\": {\"vesk\": {\"type\": \"local\", \"command\": [" +
             Json(w.path({"vesk"})).dump() + ", \"mcp\"]}}}");
  EXPECT_EQ(agent_doctor_lines(w.world),
            (std::vector<std::string>{
                "Agents with Vesk: Claude Code (no hooks: `vesk connect claude` adds them), Codex "
                "(no hooks: `vesk connect codex` adds them), Gemini CLI (no hooks: `vesk connect "
                "gemini` adds them), OpenCode (no hooks: `vesk connect opencode` adds them)",
                "Note: Gemini CLI starts MCP servers only in folders you have trusted (it asks "
                "when you open a new one).",
                "Agents found without Vesk: Cursor (`vesk connect cursor`)"}));
  EXPECT_EQ(disconnect_for_uninstall(w.world).done,
            (std::vector<std::string>{"Claude Code: Took Vesk out of Claude Code.",
                                      "Codex: Took Vesk out of Codex.",
                                      "Gemini CLI: Took Vesk out of Gemini CLI.",
                                      "OpenCode: Took Vesk out of OpenCode."}));
  EXPECT_EQ(w.read({".config", "opencode", "config.json"}).find("vesk"), std::string::npos);
  EXPECT_EQ(w.read({".config", "opencode", "opencode.json"}), "{}");
  EXPECT_NE(w.read({".cursor", "mcp.json"}).find("/else/vesk"), std::string::npos);
  // A file that can't be read is neither with nor without Vesk.
  w.file({".codeium", "windsurf", "mcp_config.json"}, "{");
  EXPECT_EQ(agent_doctor_lines(w.world),
            (std::vector<std::string>{
                "Agents with Vesk: none",
                "Agents found without Vesk: Claude Code (`vesk connect claude`), Codex (`vesk "
                "connect codex`), Gemini CLI (`vesk connect gemini`), OpenCode (`vesk connect "
                "opencode`), Cursor (`vesk connect cursor`)",
                "Couldn't check Windsurf: " + w.path({".codeium", "windsurf", "mcp_config.json"}) +
                    " isn't valid JSON (line 1, column 2: a member name should be here), so I left "
                    "it alone"}));
}

TEST(AgentCommands, SetupLinesKeepThePathAsItIs) {
  EXPECT_EQ(mcp_setup_text("C:\\Program Files\\Vesk\\vesk.exe"),
            "Claude Code:  claude mcp add -s user vesk -- \"C:\\Program Files\\Vesk\\vesk.exe\" mcp\n"
            "Codex:        codex mcp add vesk -- \"C:\\Program Files\\Vesk\\vesk.exe\" mcp\n"
            "Gemini CLI:   gemini mcp add -s user vesk \"C:\\Program Files\\Vesk\\vesk.exe\" mcp\n"
            "\n"
            "Any other MCP client: command \"C:\\Program Files\\Vesk\\vesk.exe\", argument "
            "\"mcp\" (stdio).\n"
            "Or let Vesk add itself: vesk connect " + kWords + "\n"
                         "That also adds the agents' hooks, which keep the laptop awake exactly "
                         "while an agent works (vesk connect --no-hooks: the MCP server only).\n");
}

}  // namespace
}  // namespace vesk::cli
