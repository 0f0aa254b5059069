// Running a system tool out of sight and reading what it says.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace vesk::platform {

struct ToolOutput {
  int exit_code = 0;
  std::string out;  // raw bytes of standard output
  std::string err;  // raw bytes of standard error
};

// Starts `program` with `args`: a bare name is looked up as
// Lookup::kSystemTool does (on Windows in the system folder only, so a
// same-named file in the current folder is never picked), a name with a path
// separator is used as given. No console window, no standard input (the null device), standard
// output and error each on a pipe, both read to their end together; then
// waits for the tool. The error is the system's text for why it could not
// be started or waited for.
Result<ToolOutput> run_hidden_tool(const std::string& program,
                                   const std::vector<std::string>& args);

// A system tool's output as UTF-8 text: utf8_or_legacy with
// legacy_tool_text. Tools write in the system's legacy encoding on most
// installations, UTF-8 on some.
std::string tool_text(std::string_view bytes);

// `bytes` as they are when they are valid UTF-8, else `legacy(bytes)`.
std::string utf8_or_legacy(std::string_view bytes, std::string (*legacy)(std::string_view));

// Bytes in the code page console tools write to a pipe, as UTF-8. Windows:
// the OEM code page (GetOEMCP). POSIX: UTF-8 with invalid bytes replaced.
std::string legacy_tool_text(std::string_view bytes);

}  // namespace vesk::platform
