#include "support/child.h"

#include "support/reap.h"

namespace vesk::platform {

struct Child::Impl {
  Process process;
  std::string input;
  bool reaped = false;
  // A child not waited for must not outlive its owner.
  ~Impl() {
    if (!reaped) process.end();
  }
};

Child::Child(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Child::Child(Child&&) noexcept = default;
Child& Child::operator=(Child&&) noexcept = default;
Child::~Child() = default;

Result<Child> Child::start(const std::string& program,
                           const std::vector<std::string>& args,
                           const EnvChanges& env, const std::string& input) {
  SpawnOptions options;
  options.lookup = Lookup::kAsGiven;
  options.input = Input::kPipe;
  options.capture_output = true;
  options.no_window = true;
  options.env = env;
  TRY_ASSIGN(Process process, Process::start(program, args, options));
  return Child(std::unique_ptr<Impl>(new Impl{std::move(process), input}));
}

uint32_t Child::pid() const { return impl_->process.pid(); }

Result<CapturedRun> Child::wait() {
  TRY_ASSIGN(ProcessOutput output, impl_->process.communicate(impl_->input));
  TRY_ASSIGN(Reaped reaped, reap(impl_->process));
  impl_->reaped = true;
  CapturedRun run;
  run.exit_code = static_cast<int>(reaped.code);
  run.out = std::move(output.out);
  run.err = std::move(output.err);
  run.peak_memory_kib = reaped.peak_memory_kib;
  return run;
}

Result<CapturedRun> run_captured(const std::string& program,
                                 const std::vector<std::string>& args,
                                 const EnvChanges& env, const std::string& input) {
  TRY_ASSIGN(Child child, Child::start(program, args, env, input));
  return child.wait();
}

}  // namespace vesk::platform
