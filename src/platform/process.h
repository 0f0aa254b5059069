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

struct CapturedRun {
  int exit_code = 0;  // the exit code; on POSIX 128 + signal for a signal
  std::string out;
  std::string err;
  uint64_t peak_memory_kib = 0;  // the child's peak resident memory; 0 if unknown
};

// Runs `program` (a path, Lookup::kAsGiven) with `args`, without a console
// window, feeds it `input` on standard input, collects standard output and
// error and waits for it to end.
Result<CapturedRun> run_captured(const std::string& program,
                                 const std::vector<std::string>& args,
                                 const EnvChanges& env = {},
                                 const std::string& input = {});

// A child started in the background with captured output, as run_captured
// starts it; for tests and benchmarks that run many at once. Destroying or
// assigning over a child not yet waited for ends it.
class Child {
 public:
  static Result<Child> start(const std::string& program,
                             const std::vector<std::string>& args,
                             const EnvChanges& env = {},
                             const std::string& input = {});
  Child(Child&&) noexcept;
  Child& operator=(Child&&) noexcept;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();

  // The child's process id (also after wait()).
  uint32_t pid() const;
  // Reads the output to its end and waits for the child.
  Result<CapturedRun> wait();

 private:
  struct Impl;
  explicit Child(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vesk::platform
