// The power watcher: on Windows a background thread with a hidden window
// that runs a handler when the user's session ends, before the window
// answers (see platform/session_watch.h). Elsewhere it does nothing. It
// knows nothing of the journals: the put-back it runs is handed in (see
// restore/rescue.h, watch_session_end).
#pragma once

#include <functional>

namespace vesk::restore {

// What the watcher runs when the session ends, on its own thread.
using SessionEndWork = std::function<void()>;

// Makes sure one watcher runs in this process, running `on_session_end`
// when the session ends (an empty one: nothing); returns at once. A later
// call only puts its handler in place of the one before. Never stopped: it
// ends with the process.
void start_power_watch(SessionEndWork on_session_end);

// The session-end handler that start_power_watch gives the watcher: the
// work it was last handed; nothing before.
void power_watch_session_end();

}  // namespace vesk::restore
