// Operating-system error codes as text.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace vesk::platform {

// The calling thread's last error code (GetLastError on Windows, errno on
// POSIX).
int last_os_error();

// "<system message> (os error N)": the system's text for the code as the
// system writes it (trailing line breaks removed), then the code.
std::string os_error_text(int code);

// As os_error_text(code), with the system message's inserts ("%1") filled
// with `subject` (the path the call was about) by fill_message_inserts.
std::string os_error_text(int code, std::string_view subject);

// `text` with every insert ("%1" to "%99", with an optional "!fmt!") replaced
// by `subject`; an empty subject drops the insert and the space before it
// ("Bad EXE format for %1." -> "Bad EXE format for."). "%%" is "%".
std::string fill_message_inserts(std::string_view text, std::string_view subject);

// os_error_text(last_os_error()) as an Error.
Error last_error();

}  // namespace vesk::platform
