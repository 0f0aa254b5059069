// `vesk run -- <command…>`: keep awake exactly while one command runs.
#include "cli/run.h"

#include "base/json.h"
#include "cli/handlers.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::cli {

namespace {

using platform::is_path_separator;

constexpr unsigned kRunWaitSeconds = 5;

// Sends "release" for a run hold whose reply carries a string hold id; the
// outcome is ignored.
void release_run_hold(Context& ctx, const Result<Json>& hold) {
  if (!hold) return;
  const Json* held = member(*hold, "hold");
  const std::string* id = held ? string_member(*held, "id") : nullptr;
  if (id == nullptr) return;
  // Silent by design: the command's own output and status are what the
  // caller sees, and a hold left open names a process the tray app can see end.
  (void)ctx.request("release", Json{{"id", *id}}, kRunWaitSeconds);
}

}  // namespace

std::string display_name(const std::string& program) {
  std::string_view path = program;
  // Trailing separators and "." components name the same file.
  for (;;) {
    if (!path.empty() && is_path_separator(path.back())) {
      path.remove_suffix(1);
    } else if (path.size() >= 2 && path.back() == '.' && is_path_separator(path[path.size() - 2])) {
      path.remove_suffix(2);
    } else {
      break;
    }
  }
  std::string_view name = platform::file_name(path);
  const size_t start = path.size() - name.size();
  // A drive ("C:") is no file name.
  if (platform::kPathSeparator == '\\' && start == 0 && name.size() >= 2 && name[1] == ':') {
    name.remove_prefix(2);
  }
  if (name.empty() || name == ".." || (name == "." && start == 0)) return program;
  return std::string(name);
}

int exit_status_of_child(int64_t code) {
  if (code < 0) return 255;  // a crash status: never report it as success
  if (code >= 255) return 255;
  return static_cast<int>(code);
}

Outcome cmd_run(Context& ctx, const Args& args) {
  size_t first = 0;
  while (first < args.size() && args[first] == "--") ++first;
  // The command table has checked that something follows the "--" words.
  const std::string& program = args[first];
  Args program_args(args.begin() + static_cast<std::ptrdiff_t>(first) + 1, args.end());
  const std::string reason = "Running " + display_name(program);

  Result<Json> own_hold = ctx.request(
      "hold", Json{{"pid", platform::current_pid()}, {"reason", reason}}, kRunWaitSeconds);
  if (!own_hold) {
    ctx.io.err("vesk: not keeping awake (" + own_hold.message() + "); running anyway\n");
  }

  auto child = ctx.launch(program, program_args);
  if (!child) {
    release_run_hold(ctx, own_hold);
    return Error{"couldn't start " + program + ": " + child.message()};
  }

  Result<Json> child_hold = Error{"not sent"};
  if (own_hold) {
    child_hold = ctx.request("hold", Json{{"pid", (*child)->pid()}, {"reason", reason}},
                             kRunWaitSeconds);
  }
  release_run_hold(ctx, own_hold);

  Result<int64_t> code = (*child)->wait();
  release_run_hold(ctx, child_hold);
  if (!code) return code.error();
  return exit_status_of_child(*code);
}

}  // namespace vesk::cli
