// `vesk hook <agent> [<event>]`: what the agents' lifecycle hooks run.
#include "cli/handlers.h"
#include "hooks/hook.h"
#include "platform/stdio.h"

namespace vesk::cli {

namespace {

// More than any payload an agent sends; what is past it is dropped.
constexpr size_t kMostInput = 4 * 1024 * 1024;

std::string read_all_input() {
  platform::use_binary_stdio();
  std::string input;
  char buffer[16 * 1024];
  while (input.size() < kMostInput) {
    Result<size_t> got = platform::read_stdin(buffer, sizeof buffer);
    if (!got || *got == 0) break;
    input.append(buffer, *got);
  }
  return input;
}

}  // namespace

// Never a word on standard output or standard error, and always status 0:
// the agent waits for this and some read anything else as "stop".
Outcome cmd_hook(Context& ctx, const Args& args) {
  const std::string input = read_all_input();
  if (args.empty() || ctx.app_folder.empty()) return kExitDone;
  std::unique_ptr<hooks::HookSystem> system = hooks::system_hooks(ctx.app_folder);
  hooks::run_hook(args[0], args.size() > 1 ? std::string_view(args[1]) : std::string_view(), input,
                  *system);
  return kExitDone;
}

}  // namespace vesk::cli
