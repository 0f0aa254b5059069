// Starting a command that shares this process's console: `vesk run`.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "platform/spawn.h"  // kProgramNotFound, kBatchArgumentsInvalid

namespace vesk::platform {

// A started child with inherited standard input, output and error, current
// directory and environment (Process with Lookup::kCommand).
//
// Program lookup for a name without a directory:
//   POSIX: the directories of PATH, as execvp does it.
//   Windows: the folder of this executable, the system folder, the Windows
//   folder, then the folders of PATH; never the current folder or a relative
//   PATH entry. A name without an extension is tried in each folder with
//   PATHEXT's .com, .exe, .bat and .cmd in PATHEXT's order
//   (win::program_extensions); a name with one is used as given. The child
//   starts with the system's default error mode. A batch file (.bat or .cmd in any
//   case) runs through `cmd.exe /e:ON /v:OFF /d /c` with its arguments
//   quoted so that cmd runs nothing else; arguments that cannot be passed
//   safely fail the start with kBatchArgumentsInvalid.
// A lookup that finds nothing fails with kProgramNotFound; other failures
// carry the system's message.
//
// From start until wait() returns, this process ignores console interrupts
// (Ctrl+C, Ctrl+Break; SIGINT) so that they reach the child alone, and hands
// other requests to stop (SIGTERM, SIGHUP, SIGQUIT; the console closing) on
// to the child (SpawnOptions::hand_on_stops), so that the caller can still
// tidy up after it. A second SIGTERM `kill_after_ms` or more after the
// first ends the child with SIGKILL.
inline constexpr uint32_t kKillAfterMs = 10000;

class LaunchedProcess {
 public:
  static Result<LaunchedProcess> start(const std::string& program,
                                       const std::vector<std::string>& args,
                                       uint32_t kill_after_ms = kKillAfterMs);
  LaunchedProcess(LaunchedProcess&&) noexcept;
  LaunchedProcess& operator=(LaunchedProcess&&) noexcept;
  LaunchedProcess(const LaunchedProcess&) = delete;
  LaunchedProcess& operator=(const LaunchedProcess&) = delete;
  // Does not end the child; only stops ignoring interrupts.
  ~LaunchedProcess();

  uint32_t pid() const;

  // Waits without a time limit. The exit status: on Windows the exit code
  // read as a signed 32-bit number (so a crash status is negative); on
  // POSIX the exit code, or 128 + the signal that ended the child.
  Result<int64_t> wait();

 private:
  struct Impl;
  explicit LaunchedProcess(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vesk::platform
