#include "platform/launch.h"

namespace vesk::platform {

struct LaunchedProcess::Impl {
  Process process;
};

LaunchedProcess::LaunchedProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
LaunchedProcess::LaunchedProcess(LaunchedProcess&&) noexcept = default;
LaunchedProcess& LaunchedProcess::operator=(LaunchedProcess&&) noexcept = default;
LaunchedProcess::~LaunchedProcess() = default;

Result<LaunchedProcess> LaunchedProcess::start(const std::string& program,
                                               const std::vector<std::string>& args,
                                               uint32_t kill_after_ms) {
  SpawnOptions options;
  options.lookup = Lookup::kCommand;
  options.ignore_interrupts = true;
  options.hand_on_stops = true;
  options.kill_after_ms = kill_after_ms;
  TRY_ASSIGN(Process process, Process::start(program, args, options));
  return LaunchedProcess(std::unique_ptr<Impl>(new Impl{std::move(process)}));
}

uint32_t LaunchedProcess::pid() const { return impl_ ? impl_->process.pid() : 0; }

Result<int64_t> LaunchedProcess::wait() {
  if (!impl_) return Error{"no process to wait for"};
  TRY_ASSIGN(ProcessExit exit, impl_->process.wait());
  return exit.code;
}

}  // namespace vesk::platform
