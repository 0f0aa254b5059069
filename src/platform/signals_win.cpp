#include "platform/signals.h"

#include "platform/error.h"
#include "platform/win_handle.h"

namespace vesk::platform {

namespace {

int exit_status = 0;

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI exit_now(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    ExitProcess(static_cast<UINT>(exit_status));
  }
  return FALSE;
}

BOOL WINAPI ignore_break(DWORD event) { return event == CTRL_BREAK_EVENT ? TRUE : FALSE; }

}  // namespace

Status exit_on_stop_request(int status) {
  exit_status = status;
  if (!SetConsoleCtrlHandler(exit_now, TRUE)) {
    return Error{"couldn't handle Ctrl+C: " + os_error_text(last_os_error())};
  }
  return {};
}

Status ignore_stop_requests() {
  if (!SetConsoleCtrlHandler(ignore_break, TRUE)) {
    return Error{"couldn't ignore Ctrl+Break: " + os_error_text(last_os_error())};
  }
  return {};
}

}  // namespace vesk::platform
