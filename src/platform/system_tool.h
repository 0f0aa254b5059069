// Running a system tool out of sight and reading what it says.
#pragma once

#include <string>
#include <vector>

#include "base/result.h"

namespace vesk::platform {

struct ToolOutput {
  int exit_code = 0;
  std::string out;  // raw bytes of standard output
  std::string err;  // raw bytes of standard error
};

// Starts `program` with `args`: a bare name is looked up the way the system
// finds programs (on Windows the system folder first, so a same-named file in
// the current folder is never picked), a name with a path separator is used
// as given. No console window, no standard input (the null device), standard
// output and error each on a pipe, both read to their end together; then
// waits for the tool. The error is the system's text for why it could not
// be started or waited for.
Result<ToolOutput> run_hidden_tool(const std::string& program,
                                   const std::vector<std::string>& args);

}  // namespace vesk::platform
