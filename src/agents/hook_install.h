// Putting an agent's lifecycle hooks in place beside its MCP entry, so
// that they run `<program> hook <word> <event>` (see src/hooks), and taking
// them out again. Only vesk's own hooks are touched: an entry is vesk's
// when every command in it starts a program named vesk with the word
// "hook"; the user's hooks in the same files stay exactly as they are. Each
// file is edited as the MCP entry is (in place, backed up, read back the
// way the agent reads it before it is written).
#pragma once

#include <string>
#include <vector>

#include "agents/catalogue.h"
#include "agents/registrar.h"

namespace vesk::agents {

// Every event the agent's hooks are put on.
std::vector<std::string> hook_events(HookForm form);

// Puts the hooks of `spec` (at `place.hooks`) in place for `program`:
// kAdded when none were there, kUpdated when some were missing or started
// another program, kUnchanged when all were in place (nothing written).
// Codex's hooks are trusted too, in its config.toml (`place.file`).
Result<Change> connect_hooks(const AgentSpec& spec, const AgentPlace& place,
                             const std::string& program, AgentFiles& files,
                             platform::FolderRule rule);

// Takes vesk's hooks out: all of them, or with `only_program` set, only
// those that start it (what `uninstall` leaves of another vesk's).
// kRemoved or kAbsent.
Result<Change> disconnect_hooks(const AgentSpec& spec, const AgentPlace& place, AgentFiles& files,
                                platform::FolderRule rule, const std::string* only_program = nullptr);

// What `doctor` says of an agent's hooks.
struct HookState {
  bool any = false;       // some of vesk's hooks are there
  bool complete = false;  // every one, each starting `program`
  bool trusted = true;    // Codex: each is trusted (always true elsewhere)
};
Result<HookState> hook_state(const AgentSpec& spec, const AgentPlace& place,
                             const std::string& program, AgentFiles& files,
                             platform::FolderRule rule);

}  // namespace vesk::agents
