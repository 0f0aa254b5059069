// Who started a process: its parent and the parent's program name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vesk::platform {

struct ProcessLink {
  uint32_t parent = 0;  // 0: none known
  std::string name;     // the program's file name, as the system gives it ("bash", "cmd.exe")
};

// The process with this id: its parent's id and its own program name;
// nullopt when it can't be looked at. POSIX: /proc/<pid>/stat and comm;
// Windows: a Toolhelp process snapshot.
std::optional<ProcessLink> process_link(uint32_t pid);

}  // namespace vesk::platform
