// `vesk hook <agent> [<event>]`: what an agent runs on its lifecycle
// events, turned into one hold per working session (see session.h).
//
// It never disturbs the agent: it prints nothing, always exits 0, waits at
// most about a second for a tray app that doesn't answer and not at all
// for one that isn't running, and puts what went wrong in one line of a
// small log in the app folder.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/json_fwd.h"
#include "base/result.h"
#include "hooks/events.h"

namespace vesk::hooks {

// What one call may touch; tests hand it a recording fake.
class HookSystem {
 public:
  virtual ~HookSystem() = default;
  // Whether the tray app runs: when it doesn't, there is nothing to hold
  // and nothing to say.
  virtual bool app_running() = 0;
  // One request to the tray app, waiting at most a second.
  virtual Result<Json> request(std::string_view kind, const Json& payload) = 0;
  virtual int64_t now() = 0;  // Unix seconds
  // The agent's process: its variable when set, else the nearest ancestor
  // of this process that isn't a shell; 0 when none is found.
  virtual uint32_t agent_pid(const HookAgent& agent) = 0;
  // The session's state, under a lock between processes held while the
  // returned object lives (nullptr: not had in time, said in the log).
  class Session {
   public:
    virtual ~Session() = default;
    virtual std::optional<std::string> read() = 0;
    virtual Status write(std::string_view text) = 0;
    virtual void remove() = 0;
  };
  virtual Result<std::unique_ptr<Session>> open_session(const std::string& key) = 0;
  // Forgets the sessions whose agent process has ended.
  virtual void prune() = 0;
  virtual void log(std::string_view line) = 0;
};

// The system's: the app link of `app_folder`, session files in its
// "hooks" folder, the log "hook.log" there.
std::unique_ptr<HookSystem> system_hooks(const std::string& app_folder);

// Handles one call: `word` the agent's word, `event` the event named on the
// command line (empty: the payload names it), `input` what came on
// standard input.
void run_hook(std::string_view word, std::string_view event, std::string_view input,
              HookSystem& system);

// The file name (without folder) of a session's state: the agent's word and
// a hash of its session id.
std::string session_key(std::string_view word, std::string_view session, uint32_t pid);

}  // namespace vesk::hooks
