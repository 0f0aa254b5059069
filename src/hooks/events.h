// The agents' lifecycle events, as `vesk hook` reads them: one table of
// every agent's event names and what each means for the session's hold,
// and the reading of the payload an agent hands its hook on standard input.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/json.h"

namespace vesk::hooks {

// What an event says of the agent's session.
enum class Step {
  kStart,      // a turn begins: the session is working
  kWork,       // still working
  kToolStart,  // a tool call begins: no lease runs out while it lasts
  kToolEnd,    // a tool call ended
  kEnd,        // the turn or the session ended
  kNone,       // nothing that concerns keeping awake
};

struct EventRow {
  std::string_view name;
  Step step;
};

// An agent whose hooks run `vesk hook <word>`: its events, where its
// payload keeps the session's id and folder, and the variable that names
// its process, if it has one.
struct HookAgent {
  std::string_view word;     // the agent's word in the agent table
  std::string_view display;  // "Claude Code"
  std::span<const EventRow> events;
  std::span<const std::string_view> session_keys;  // payload members, first found wins
  std::span<const std::string_view> folder_keys;   // a string, or a list whose first item is one
  std::string_view pid_variable = {};              // "" when none
};

// Every agent that runs hooks, in table order.
std::span<const HookAgent> hook_agents();

// The word of every row, in table order.
std::span<const std::string_view> hook_agent_words();

// The row that a word names; nullptr when none.
const HookAgent* find_hook_agent(std::string_view word);

// What one call of the hook is about.
struct HookEvent {
  const HookAgent* agent = nullptr;  // who called: for `claude`, VS Code and Cursor too
  std::string name;                  // the event's name
  Step step = Step::kNone;
  std::string session;               // "" when the payload names none
  std::string folder;                // "" when the payload names none
};

// Reads one call: the agent that `word` names (the payload tells VS Code's
// and Cursor's calls of Claude Code's hooks apart), the event named on the
// command line or else in the payload, and the session and folder the
// payload names. A payload that isn't a JSON object counts as an empty one.
// Nullopt for a word that names no hook agent.
std::optional<HookEvent> read_event(std::string_view word, std::string_view event,
                                    const Json& payload);

}  // namespace vesk::hooks
