// The power watcher: on Windows a background thread with a hidden window
// that puts back the recorded power settings when the user's session ends
// (see session_end_put_back). Elsewhere it does nothing.
#pragma once

#include <string>

namespace vesk::restore {

// Makes sure one watcher runs in this process, putting back what the
// journals in `app_folder` record (the first call's folder); returns at
// once. Never stopped: it ends with the process.
void start_power_watch(const std::string& app_folder);

}  // namespace vesk::restore
