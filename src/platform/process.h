// Processes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "platform/spawn.h"

namespace vesk::platform {

uint32_t current_pid();

// Whether the process with this id is running, and if so its creation time
// as a FILETIME value (100-nanosecond units since 1601-01-01 UTC).
//
// Windows: OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION), GetExitCodeProcess
// must report STILL_ACTIVE, and the creation time is GetProcessTimes' first
// FILETIME.
//
// Linux: the creation time, in the same unit, is
//   116444736000000000 + btime * 10^7 + starttime * 10^7 / CLK_TCK
// where btime is the `btime` line of /proc/stat and starttime is field 22 of
// /proc/<pid>/stat (clock ticks since boot). A zombie counts as not running.
std::optional<uint64_t> process_start_time(uint32_t pid);

// What the system says of the process with this id and creation time:
// still running; gone (no process has the id, it has exited, or the id now
// belongs to a process created at another time); or unknown, when this
// program may not look at it.
enum class ProcessPresence { kRunning, kGone, kUnknown };
ProcessPresence process_presence(uint32_t pid, uint64_t creation_time);

}  // namespace vesk::platform
