// Being told that the user's session ends (logoff, restart, shutdown).
//
// Windows: a thread "vesk-power" owns a hidden window of class
// "VeskPowerWindow", titled "Vesk", registered for lid-switch power-setting
// notifications; when the session really ends (WM_ENDSESSION with wParam
// TRUE) the window procedure calls the handler on that thread, before it
// returns, since the process may be ended soon after. The session end is
// never held up or refused. Other systems have no such watcher: nothing
// runs there.
#pragma once

namespace vesk::platform {

using SessionEndHandler = void (*)();

// Makes sure one watcher runs in this process and returns at once; true
// when this call started its thread. A call while a watcher is starting or
// running does nothing, also from several threads at once; the handler of
// the call that started it is the one called. If the thread or the window
// cannot be created the state returns to not_started, so a later call tries
// again.
bool start_session_watch(SessionEndHandler on_session_end);

}  // namespace vesk::platform
