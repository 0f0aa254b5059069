// `connect`, `disconnect` and `mcp-setup`: putting the MCP server in front of
// agents and taking it away; and the agents' lines of `doctor` and
// `uninstall`. Every list of agents comes from agents/catalogue.h.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "agents/catalogue.h"
#include "agents/registrar.h"
#include "cli/context.h"

namespace vesk::cli {

// What the agent commands ask of the machine; tests point it at a sandbox.
struct AgentWorld {
  agents::AgentEnv env;
  const agents::FileProbe& probe;
  agents::AgentFiles& files;
  agents::LaunchEntry launch;  // what agents are told to start
};

// The real environment, disk and program.
AgentWorld system_agent_world();

inline constexpr std::string_view kAllAgents = "all";

// "all" and every word of every agent: the choices of `connect` and
// `disconnect`.
std::span<const std::string_view> agent_targets();

// Connects the agents that `target` names ("all", or a word of the table),
// printing one line for each; returns the exit status: 0 when every agent
// tried was connected or already was, 2 when none was found, one failed, or
// the word names no agent (a usage error on standard error).
// Their lifecycle hooks are put in place too, unless `with_hooks` is false
// (`--no-hooks`).
int connect_agents(std::string_view target, const AgentWorld& world, Io& io,
                   bool with_hooks = true);

// Takes the server and the hooks out of the agents that `target` names
// ("all": every agent whose file exists), one line each; 0, or 2 when a file couldn't be
// read, parsed or written, or the word names no agent.
int disconnect_agents(std::string_view target, const AgentWorld& world, Io& io);

// The lines of `doctor` about agents: those connected, those found but
// not connected with the command that connects each, and a line for each
// file that couldn't be read or parsed (such an agent is neither); none
// when no agent is found here.
std::vector<std::string> agent_doctor_lines(const AgentWorld& world);

// What `uninstall` did to the agents: a line for each agent it took Vesk
// out of, and one for each entry that starts this program and stayed (or
// a file that couldn't be read to tell), with the reason.
struct AgentsUninstalled {
  std::vector<std::string> done;
  std::vector<std::string> left;
};

// Takes the server out of every file of every agent whose entry there
// starts this program; entries that start another program stay.
AgentsUninstalled disconnect_for_uninstall(const AgentWorld& world);

// The lines of `mcp-setup` for the program at `exe_path`.
std::string mcp_setup_text(std::string_view exe_path);

}  // namespace vesk::cli
