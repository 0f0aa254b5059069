// Starting a program in a console of its own, as a user's new terminal
// window or shell job would: Windows, a new console; POSIX, a process group
// of its own. A Ctrl+C pressed there (interrupt.h) reaches that program and
// its children, and not the tests that started it.
#pragma once

#include <string>
#include <vector>

#include "base/result.h"

namespace vesk::platform {

// Runs `program` (a path) with `args` in a console of its own, with this
// process's standard handles, and returns its exit status. POSIX: this
// process becomes the program (its id kept), so it returns only on failure.
Result<int> run_in_own_console(const std::string& program, const std::vector<std::string>& args);

}  // namespace vesk::platform
