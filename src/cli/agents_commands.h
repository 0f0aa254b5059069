// `connect` and `mcp-setup`: putting the MCP server in front of agents.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "agents/agents.h"
#include "cli/context.h"

namespace vesk::cli {

// What `connect` asks of the machine; tests hand it fakes.
struct AgentOps {
  std::function<bool()> claude_present;
  std::function<agents::Connection()> connect_claude;
  std::function<bool()> codex_present;
  std::function<agents::Connection()> connect_codex;
};

// The agents `connect` takes ("claude-code" is another word for "claude").
inline constexpr std::string_view kConnectClaude = "claude";
inline constexpr std::string_view kConnectClaudeCode = "claude-code";
inline constexpr std::string_view kConnectCodex = "codex";
inline constexpr std::string_view kConnectAll = "all";
inline constexpr std::array<std::string_view, 4> kConnectTargets{
    kConnectClaude, kConnectCodex, kConnectAll, kConnectClaudeCode};

// The real configuration files in the user profile.
AgentOps system_agents();

// Connects the agents that `target` names ("all", "claude", "claude-code",
// "codex"), printing one line for each, and returns the exit status: 0 when
// every agent tried was connected, 2 when none was found or one failed.
int connect_agents(std::string_view target, const AgentOps& ops, Io& io);

// The five lines of `mcp-setup` for the program at `exe_path`.
std::string mcp_setup_text(std::string_view exe_path);

}  // namespace vesk::cli
