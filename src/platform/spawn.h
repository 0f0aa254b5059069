// Starting child processes: the one place where the program creates them.
// `run_hidden_tool` (system_tool.h), `LaunchedProcess` (launch.h) and the
// tests' `Child` (tests/support/child.h) are built on it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/result.h"

namespace vesk::platform {

inline constexpr std::string_view kProgramNotFound = "program not found";
inline constexpr std::string_view kBatchArgumentsInvalid = "batch file arguments are invalid";

// Environment changes for a child: name and value, or name and nullopt to
// remove the variable. Everything else is inherited.
using EnvChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

// How the program name becomes the file that is started.
enum class Lookup {
  // The path as given (relative to the current folder). Windows: with
  // ".exe" added when only that file exists.
  kAsGiven,
  // A system tool: a name with a path separator is used as given; a bare
  // name is looked up the way the system finds programs. POSIX: the
  // directories of PATH, as execvp does it. Windows: the system folder's
  // copy only (never the current folder); none there fails with
  // "<name> not found in the system folder".
  kSystemTool,
  // The lookup of `vesk run`, see launch.h: POSIX as kSystemTool; Windows
  // this executable's folder, the system folder, the Windows folder, PATH,
  // PATHEXT's extensions tried, batch files through cmd.exe, the child in
  // the default error mode (CREATE_DEFAULT_ERROR_MODE). Nothing found fails with
  // kProgramNotFound.
  kCommand,
};

// Where the child's standard input comes from.
enum class Input { kInherit, kNullDevice, kPipe };

struct SpawnOptions {
  Lookup lookup = Lookup::kAsGiven;
  Input input = Input::kInherit;
  // Standard output and error each on a pipe, read by communicate();
  // otherwise inherited.
  bool capture_output = false;
  // Windows: no console window for the child. POSIX: no effect.
  bool no_window = false;
  // From start until wait() returns, this process ignores console
  // interrupts (Ctrl+C, Ctrl+Break; SIGINT, SIGQUIT) so that they reach the
  // child alone; the child gets them at their default handling. Windows: and
  // for a second after, since a console may hand this process its copy of
  // the interrupt only after the child has ended.
  bool ignore_interrupts = false;
  // From start until wait() returns, a request to stop this process is
  // handed on to the child, which then ends as it chooses while the caller
  // waits for it. POSIX: SIGTERM, SIGHUP and SIGQUIT sent to this process
  // are sent on to the child (not those the terminal sends to the whole
  // job, which reach the child anyway); a SIGTERM that comes
  // `kill_after_ms` or more after the first is sent on as SIGKILL, so that
  // a child that ignores SIGTERM cannot hold up whoever wants this process
  // gone. Windows: Ctrl+Break reaches the child on the shared console and is
  // swallowed here, and when the console closes this process waits (as
  // long as the system lets it) for the child to end. A signal that was
  // ignored when this process started stays ignored, here and in the child.
  bool hand_on_stops = false;
  uint32_t kill_after_ms = 10000;
  EnvChanges env;
};

struct ProcessOutput {
  std::string out;  // raw bytes of standard output
  std::string err;  // raw bytes of standard error
};

struct ProcessExit {
  // Windows: the exit code read as a signed 32-bit number (a crash status is
  // negative). POSIX: the exit code, or 128 + the signal that ended it.
  int64_t code = 0;
};

// A started child. The child inherits its three standard handles and
// nothing else from this process (POSIX: every other descriptor is
// close-on-exec; Windows: PROC_THREAD_ATTRIBUTE_HANDLE_LIST, and one lock
// around making handles inheritable and starting the child). SIGPIPE is back
// at its default in a POSIX child.
class Process {
 public:
  // The error is kProgramNotFound or kBatchArgumentsInvalid (kCommand only),
  // else the system's text for why the child could not be started.
  static Result<Process> start(const std::string& program,
                               const std::vector<std::string>& args,
                               const SpawnOptions& options);
  Process(Process&&) noexcept;
  Process& operator=(Process&&) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  // Closes this process's ends; does not end the child.
  ~Process();

  // The child's process id (also after wait()); 0 when moved from.
  uint32_t pid() const;

  // Writes `input` to the input pipe (if any) while reading the output
  // pipes (if any), all at once so that a child blocked on one never
  // stalls; returns when both outputs have ended. The input pipe is closed
  // once `input` is written or the child stops reading; POSIX writes never
  // block.
  Result<ProcessOutput> communicate(std::string_view input = {});

  // Waits for the child without a time limit. Windows: a second call gives
  // the same again; POSIX: a second call fails.
  Result<ProcessExit> wait();

  // Ends a child not yet waited for: kills it and waits for it (Windows: up
  // to 5 s).
  void end();

 private:
  struct Impl;
  explicit Process(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vesk::platform
