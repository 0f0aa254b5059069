#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <optional>

#include "platform/error.h"
#include "platform/launch.h"

extern char** environ;

namespace vesk::platform {

namespace {

// Ignores SIGINT and SIGQUIT while it lives and restores what was there.
class IgnoreInterrupts {
 public:
  IgnoreInterrupts() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, &old_int_);
    sigaction(SIGQUIT, &ignore, &old_quit_);
  }
  ~IgnoreInterrupts() {
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGQUIT, &old_quit_, nullptr);
  }
  IgnoreInterrupts(const IgnoreInterrupts&) = delete;
  IgnoreInterrupts& operator=(const IgnoreInterrupts&) = delete;

  // The signals a child must get back at their default: those this guard
  // ignores (unless they were ignored before it), and SIGPIPE, which the
  // program ignores for itself.
  sigset_t child_defaults() const {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    if (old_int_.sa_handler != SIG_IGN) sigaddset(&set, SIGINT);
    if (old_quit_.sa_handler != SIG_IGN) sigaddset(&set, SIGQUIT);
    return set;
  }

 private:
  struct sigaction old_int_ {};
  struct sigaction old_quit_ {};
};

}  // namespace

struct LaunchedProcess::Impl {
  pid_t pid = -1;
  std::optional<IgnoreInterrupts> guard{std::in_place};
};

Result<LaunchedProcess> LaunchedProcess::start(const std::string& program,
                                               const std::vector<std::string>& args) {
  auto* impl = new Impl;
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults = impl->guard->child_defaults();
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> argv_s;
  argv_s.push_back(program);
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);

  int rc = ::posix_spawnp(&impl->pid, program.c_str(), nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    delete impl;
    if (rc == ENOENT || (rc == ENOTDIR && program.find('/') == std::string::npos)) {
      return Error{std::string(kProgramNotFound)};
    }
    return Error{os_error_text(rc)};
  }
  return LaunchedProcess(impl);
}

LaunchedProcess::LaunchedProcess(LaunchedProcess&& o) noexcept : impl_(o.impl_) {
  o.impl_ = nullptr;
}

LaunchedProcess& LaunchedProcess::operator=(LaunchedProcess&& o) noexcept {
  if (this != &o) {
    delete impl_;
    impl_ = o.impl_;
    o.impl_ = nullptr;
  }
  return *this;
}

LaunchedProcess::~LaunchedProcess() { delete impl_; }

uint32_t LaunchedProcess::pid() const { return static_cast<uint32_t>(impl_->pid); }

Result<int64_t> LaunchedProcess::wait() {
  int status = 0;
  while (::waitpid(impl_->pid, &status, 0) < 0) {
    if (errno != EINTR) {
      impl_->guard.reset();
      return last_error();
    }
  }
  impl_->guard.reset();
  if (WIFSIGNALED(status)) return int64_t{128} + WTERMSIG(status);
  return int64_t{WEXITSTATUS(status)};
}

}  // namespace vesk::platform
