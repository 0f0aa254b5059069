#include "cli/entry.h"

#include <algorithm>
#include <optional>

#include "base/json.h"
#include "cli/commands.h"
#include "ipc/app_folder.h"
#include "ipc/app_link.h"
#include "platform/console.h"
#include "platform/launch.h"

namespace vesk::cli {

namespace {

class SystemChild final : public RunningChild {
 public:
  explicit SystemChild(platform::LaunchedProcess process) : process_(std::move(process)) {}
  uint32_t pid() const override { return process_.pid(); }
  Result<int64_t> wait() override { return process_.wait(); }

 private:
  platform::LaunchedProcess process_;
};

class ConsoleIo final : public Io {
 public:
  // A closed pipe loses the text and the exit status stays the command's;
  // any other failure to write the output is kept, and nothing more is
  // written after it.
  void out(std::string_view text) override {
    if (failure_) return;
    Status written = platform::write_stdout_checked(text);
    if (!written) failure_ = written.message();
  }
  // Standard error is the last place to report to: a failure there has
  // nowhere else to go.
  void err(std::string_view text) override { (void)platform::write_stderr(text); }

  // The command's status, unless its output could not be written: then one
  // line on standard error and status 2.
  int finish(int status) {
    if (!failure_) return status;
    err("vesk: couldn't write the output: " + *failure_ + "\n");
    return kExitFailed;
  }

 private:
  std::optional<std::string> failure_;
};

}  // namespace

LaunchFn system_launcher() {
  return [](const std::string& program, const Args& args)
             -> Result<std::unique_ptr<RunningChild>> {
    TRY_ASSIGN(platform::LaunchedProcess process, platform::LaunchedProcess::start(program, args));
    return std::unique_ptr<RunningChild>(new SystemChild(std::move(process)));
  };
}

bool take_json_switch(std::vector<std::string>& args) {
  bool found = false;
  std::vector<std::string> kept;
  kept.reserve(args.size());
  bool seen_word = false;      // the command word has been passed
  bool run_command = false;    // that word is "run"
  bool child_line = false;     // from here on the words are run's child's
  for (std::string& arg : args) {
    if (child_line) {
      kept.push_back(std::move(arg));
      continue;
    }
    if (arg == "--json") {
      found = true;
      continue;
    }
    if (!seen_word) {
      seen_word = true;
      run_command = arg == "run";
    } else if (run_command && arg != "--") {
      child_line = true;
    }
    kept.push_back(std::move(arg));
  }
  args = std::move(kept);
  return found;
}

int run_cli(std::vector<std::string> args, const std::string& app_folder, Io& io,
            RequestFn request, LaunchFn launch, std::string app_folder_error) {
  Context ctx{app_folder, take_json_switch(args), io, std::move(request), std::move(launch),
              std::move(app_folder_error)};
  std::string word = args.empty() ? "status" : args.front();
  Args rest(args.empty() ? args.end() : args.begin() + 1, args.end());
  return run_command(ctx, word, rest);
}

int main_entry(std::vector<std::string> args) {
  ConsoleIo io;
  try {
    platform::init_console();
    Result<std::string> found = ipc::app_folder();
    if (!found) {
      std::string problem = found.message();
      return io.finish(run_cli(
          std::move(args), std::string(), io,
          [problem](std::string_view, Json, unsigned) -> Result<Json> { return Error{problem}; },
          system_launcher(), problem));
    }
    std::string folder = *found;
    return io.finish(run_cli(std::move(args), folder, io,
                             [folder](std::string_view kind, Json payload, unsigned wait) {
                               return ipc::app_request(folder, kind, std::move(payload), wait);
                             }));
  } catch (const std::exception& e) {
    io.err(std::string("vesk: internal error: ") + e.what() + "\n");
  } catch (...) {
    io.err("vesk: internal error\n");
  }
  return kExitFailed;
}

}  // namespace vesk::cli
