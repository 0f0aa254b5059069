// Requests to stop the whole program from outside: a signal, a console key.
#pragma once

#include "base/result.h"

namespace vesk::platform {

// From now on, a request to stop ends the process at once with exit status
// `status`: nothing is unwound, flushed or released. POSIX: SIGTERM, and SIGINT
// unless it was ignored when the program started (a background job's).
// Windows: Ctrl+C, Ctrl+Break and the closing of the console.
Status exit_on_stop_request(int status = 0);

// From now on, a polite request to stop is ignored: POSIX SIGTERM, Windows
// Ctrl+Break. (For test children that must outlast one.)
Status ignore_stop_requests();

}  // namespace vesk::platform
