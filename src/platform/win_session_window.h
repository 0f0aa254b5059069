// Windows-only: the session watcher's state and window procedure, exposed
// so that tests can see the watcher start and hand it each message.
#pragma once

#include <windows.h>

#include "platform/session_watch.h"

namespace vesk::platform {

enum class SessionWatch { not_started, starting, running };

SessionWatch session_watch_state();

}  // namespace vesk::platform

namespace vesk::platform::win {

// WM_POWERBROADCAST with PBT_POWERSETTINGCHANGE and data: TRUE (the data is
// not read). WM_QUERYENDSESSION: TRUE, always. WM_ENDSESSION with wParam
// TRUE: calls the session-end handler, then 0. Everything else, including
// WM_ENDSESSION with wParam FALSE: DefWindowProcW.
LRESULT CALLBACK session_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Replaces the handler the window procedure calls; returns the one before.
SessionEndHandler exchange_session_end_handler(SessionEndHandler handler);

// The watcher's window, or null while none exists.
HWND session_window();

}  // namespace vesk::platform::win
