// The rescue sequence that `rescue` and `uninstall` run, and the power
// watcher's session-end put-back, wired for an app folder. This sits above
// put_back and power_watch, which know nothing of each other.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/power.h"
#include "platform/process_control.h"

namespace vesk::restore {

// What the rescue sequence leaves.
struct RescueResult {
  bool all_back = true;  // everything Vesk changed is back
  // Otherwise the journal summary's lines and the run's problems; never
  // empty when something is pending.
  std::vector<std::string> pending;
  std::vector<std::string> set_aside;  // the journals the run set aside (PutBack::set_aside)
  // False when the tray app was asked to quit and still ran after the wait:
  // it may change things again.
  bool app_stopped = true;
};

// The rescue sequence: `quit_tray_app` (asks a running tray app to quit and
// waits for it to end, see ipc::quit_tray_app; false when it still runs),
// then runs put_back.
// Everything is back when the run restored everything, the journals name
// nothing and no journal was set aside (what that held is unknown). The
// power watcher is the caller's to start (watch_session_end).
RescueResult rescue(const std::string& app_folder, const std::function<bool()>& quit_tray_app);
RescueResult rescue(const std::string& app_folder, const std::function<bool()>& quit_tray_app,
                    platform::PowerApi& power, platform::ProcessControl& processes);

// Starts the power watcher (power_watch.h) with session_end_put_back of the
// journals in `app_folder` and the power settings `power` (the system's
// unless given).
void watch_session_end(const std::string& app_folder);
void watch_session_end(const std::string& app_folder, platform::PowerApi& power);

}  // namespace vesk::restore
