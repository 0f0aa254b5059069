// Standard input as raw bytes, for the stdio server (`vesk mcp`). Output goes
// through console.h, which already writes bytes to pipes and files unbuffered.
#pragma once

#include <cstddef>

#include "base/result.h"

namespace vesk::platform {

// Windows: puts the C runtime's standard input and output in binary mode, so
// that nothing translates line ends. POSIX: nothing to do.
void use_binary_stdio();

// Reads up to `capacity` bytes from standard input: the count read, 0 at the
// end of input (also for a closed pipe), or an error. Bytes come unchanged
// from a pipe or a file (Windows: ReadFile, no line-end or code-page
// translation); from a Windows console they come as UTF-8, whatever the
// console's code page.
Result<size_t> read_stdin(char* buffer, size_t capacity);

}  // namespace vesk::platform
