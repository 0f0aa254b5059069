// The process arguments as UTF-8.
#pragma once

#include <string>
#include <vector>

namespace vesk::platform {

// The arguments after the program name. POSIX arguments are taken as bytes;
// Windows arguments are converted from UTF-16, an unpaired surrogate becoming
// U+FFFD.
std::vector<std::string> utf8_args(int argc, char** argv);
std::vector<std::string> utf8_args(int argc, wchar_t** argv);

}  // namespace vesk::platform
