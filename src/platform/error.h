// Operating-system error codes as text.
#pragma once

#include <string>

#include "base/result.h"

namespace vesk::platform {

// The calling thread's last error code (GetLastError on Windows, errno on
// POSIX).
int last_os_error();

// "<system message> (os error N)": the system's text for the code as the
// system writes it (trailing line breaks removed), then the code.
std::string os_error_text(int code);

// os_error_text(last_os_error()) as an Error.
Error last_error();

}  // namespace vesk::platform
