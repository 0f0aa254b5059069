// What every command handler is given.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/json_fwd.h"
#include "base/result.h"
#include "ipc/request_fn.h"

namespace vesk::cli {

// Where a command's text goes. The console implementation writes to the
// process's standard streams; tests record.
class Io {
 public:
  virtual ~Io() = default;
  virtual void out(std::string_view text) = 0;
  virtual void err(std::string_view text) = 0;
};

using ipc::RequestFn;

using Args = std::vector<std::string>;

// A command started by `run`.
class RunningChild {
 public:
  virtual ~RunningChild() = default;
  virtual uint32_t pid() const = 0;
  // The exit status as the platform gives it (see platform/launch.h).
  virtual Result<int64_t> wait() = 0;
};

// Starts a program with arguments, sharing this process's console.
using LaunchFn =
    std::function<Result<std::unique_ptr<RunningChild>>(const std::string&, const Args&)>;

// Starts programs for real.
LaunchFn system_launcher();

struct Context {
  std::string app_folder;
  bool json = false;  // --json was given
  Io& io;
  RequestFn request;
  LaunchFn launch;
  // Why there is no app folder (then `app_folder` is empty); empty when
  // there is one.
  std::string app_folder_error = {};
};

// Exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitFailed = 2;

// A handler either ends with an exit status (its text already written), or
// fails with a message that the entry prints as "vesk: <message>" on
// standard error with status 2.
using Outcome = Result<int>;

}  // namespace vesk::cli
