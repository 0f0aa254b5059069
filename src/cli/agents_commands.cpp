#include "cli/agents_commands.h"

#include "cli/handlers.h"
#include "mcp/tools.h"
#include "platform/fs.h"

namespace vesk::cli {

namespace {

constexpr std::string_view kNoAgent = "No agent found here. Use: vesk connect claude | codex\n";

}  // namespace

AgentOps system_agents() {
  return {
      [] {
        auto path = agents::claude_config_path();
        return path && platform::file_exists(*path);
      },
      [] { return agents::connect_claude_code(); },
      [] {
        auto folder = agents::codex_folder();
        return folder && platform::file_exists(*folder);
      },
      [] { return agents::connect_codex(); },
  };
}

int connect_agents(std::string_view target, const AgentOps& ops, Io& io) {
  bool claude = target == kConnectClaude || target == kConnectClaudeCode;
  bool codex = target == kConnectCodex;
  bool all = target == kConnectAll;
  if (!claude && !codex && !all) {
    io.out(kNoAgent);
    return kExitFailed;
  }
  bool tried = false, failed = false;
  auto connect = [&](std::string_view label, const std::function<agents::Connection()>& op) {
    agents::Connection result = op();
    io.out(std::string(label) + result.message + "\n");
    tried = true;
    // A file left alone is not a success, whatever the words say.
    failed = failed || !result.ok;
  };
  if (claude || (all && ops.claude_present())) connect("Claude Code: ", ops.connect_claude);
  if (codex || (all && ops.codex_present())) connect("Codex: ", ops.connect_codex);
  if (!tried) {
    io.out(kNoAgent);
    return kExitFailed;
  }
  return failed ? kExitFailed : kExitDone;
}

std::string mcp_setup_text(std::string_view exe_path) {
  std::string path;
  path.append("\"").append(exe_path).append("\"");
  return "Claude Code:  claude mcp add vesk -- " + path + " mcp\n" +
         "Codex:        codex mcp add vesk -- " + path + " mcp\n" +
         "Gemini CLI:   gemini mcp add vesk " + path + " mcp\n" +
         "\n" +
         "Any other MCP client: command " + path + ", argument \"mcp\" (stdio).\n";
}

Outcome cmd_connect(Context& ctx, const Args& args) {
  return connect_agents(args.empty() ? kConnectAll : args.front(), system_agents(), ctx.io);
}

Outcome cmd_mcp_setup(Context& ctx, const Args&) {
  ctx.io.out(mcp_setup_text(agents::self_path_text()));
  return kExitDone;
}

Outcome cmd_prompt(Context& ctx, const Args&) {
  ctx.io.out(std::string(mcp::setup_prompt()) + "\n");
  return kExitDone;
}

}  // namespace vesk::cli
