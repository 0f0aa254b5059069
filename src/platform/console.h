// Standard output and error.
#pragma once

#include <string_view>

#include "base/result.h"

namespace vesk::platform {

// Prepares the process once at start-up: a closed pipe must come back as a
// failed write, not end the process. Windows: no system error dialogs, and
// DLLs loaded at run time come from the system folder only.
void init_console();

// Writes UTF-8 text. To a Windows console the text goes through the
// console's Unicode API; to a pipe or a file it is written as UTF-8 bytes.
// Fails with the system's reason when the text could not be written in
// full (a closed pipe too).
Status write_stdout(std::string_view text);
Status write_stderr(std::string_view text);

// As write_stdout, with the system's reason when the text could not be
// written. A reader that has gone away (a closed pipe) or no standard
// output at all is not a failure: there is nobody to tell.
Status write_stdout_checked(std::string_view text);

}  // namespace vesk::platform
