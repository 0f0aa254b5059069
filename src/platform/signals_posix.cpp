#include "platform/signals.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/error.h"

namespace vesk::platform {

namespace {

volatile sig_atomic_t exit_status = 0;

void exit_now(int) { _exit(exit_status); }

}  // namespace

Status exit_on_stop_request(int status) {
  exit_status = status;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = exit_now;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGTERM, SIGINT}) {
    // A shell starts background jobs with SIGINT ignored: Ctrl+C is not
    // theirs, and stays ignored.
    struct sigaction old;
    if (signal_number == SIGINT && sigaction(SIGINT, nullptr, &old) == 0 &&
        old.sa_handler == SIG_IGN) {
      continue;
    }
    if (sigaction(signal_number, &action, nullptr) != 0) {
      return Error{"couldn't handle a stop signal: " + os_error_text(last_os_error())};
    }
  }
  return {};
}

Status ignore_stop_requests() {
  if (::signal(SIGTERM, SIG_IGN) == SIG_ERR) {
    return Error{"couldn't ignore SIGTERM: " + os_error_text(last_os_error())};
  }
  return {};
}

}  // namespace vesk::platform
