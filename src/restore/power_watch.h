// The power watcher: on Windows a background thread with a hidden window
// that puts back the recorded power settings when the user's session ends
// (see session_end_put_back). Elsewhere it does nothing.
#pragma once

#include <string>

#include "platform/power.h"

namespace vesk::restore {

// Makes sure one watcher runs in this process, putting back what the
// journals in `app_folder` record (the first call's folder); returns at
// once. Never stopped: it ends with the process.
void start_power_watch(const std::string& app_folder);

// What a session end puts back: the journals in `app_folder` with the power
// settings `power` (null: the system's).
struct PowerWatchTarget {
  std::string app_folder;
  platform::PowerApi* power = nullptr;
};

// Puts another target in place (tests do, with fakes); returns the one
// before, which an earlier start_power_watch set.
PowerWatchTarget exchange_power_watch_target(PowerWatchTarget target);

// The session-end handler that start_power_watch gives the watcher: the
// current target's session_end_put_back; nothing before a target is set.
void power_watch_session_end();

}  // namespace vesk::restore
