// One agent session's hold, as `vesk hook` keeps it between calls: what
// each event does to it, decided without touching anything.
//
// While a session works it has exactly one hold with the tray app, bound to
// the agent's process (so it ends when the agent exits) and carrying a
// lease of kLeaseMinutes (so it ends when the end event never comes). Work
// renews the lease, by taking a fresh hold and releasing the old one, once
// it is kRenewAfterSeconds old; while a tool call is in flight the hold has
// no lease at all. Every end event releases it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/json.h"
#include "base/result.h"
#include "hooks/events.h"

namespace vesk::hooks {

inline constexpr int kLeaseMinutes = 15;
inline constexpr int64_t kRenewAfterSeconds = 60;

// What is remembered of a session between calls.
struct SessionState {
  std::string hold;        // the tray app's id of the session's hold
  uint32_t pid = 0;        // the agent process it is bound to
  int64_t taken = 0;       // when it was taken (Unix seconds)
  bool leased = true;      // it has a lease (no tool call in flight)
  int tools = 0;           // tool calls in flight
};

Json state_json(const SessionState& state);
// Nullopt for a document that isn't a state.
std::optional<SessionState> state_from_json(const Json& doc);

// What to do for one event.
struct Plan {
  bool take = false;       // take a hold (with a lease when `leased`)
  bool leased = true;
  bool release = false;    // release the state's hold (after taking the new one)
  int tools = 0;           // the tool calls in flight afterwards
  bool forget = false;     // the session has ended: no state kept
};

// The plan for `step` in a session that has `state` (nullopt: none yet),
// for the agent process `pid`, at `now` (Unix seconds).
Plan plan_event(const std::optional<SessionState>& state, Step step, uint32_t pid, int64_t now);

}  // namespace vesk::hooks
