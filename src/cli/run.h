// Pieces of `vesk run` that tests reach directly.
#pragma once

#include <cstdint>
#include <string>

namespace vesk::cli {

// The last component of a program path; the path as typed when it has none
// (it ends in "..", or is a bare root).
std::string display_name(const std::string& program);

// The exit status that `run` passes on for its child's: 0 to 254 as they
// are, 255 and above as 255, and a negative (crash) status as 255.
int exit_status_of_child(int64_t code);

}  // namespace vesk::cli
