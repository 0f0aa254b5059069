#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <cerrno>
#include <map>

#include "platform/error.h"
#include "platform/spawn.h"

extern char** environ;

namespace vesk::platform {

namespace {

struct Fd {
  int fd = -1;
  Fd() = default;
  explicit Fd(int f) : fd(f) {}
  Fd(Fd&& o) noexcept : fd(o.fd) { o.fd = -1; }
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      reset();
      fd = o.fd;
      o.fd = -1;
    }
    return *this;
  }
  ~Fd() { reset(); }
  void reset() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

struct Pipe {
  Fd read, write;
};

Result<Pipe> make_pipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return last_error();
  return Pipe{Fd(ends[0]), Fd(ends[1])};
}

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
  const struct sigaction& quit_before() const { return old_quit_; }
  IgnoreInterrupts(const IgnoreInterrupts&) = delete;
  IgnoreInterrupts& operator=(const IgnoreInterrupts&) = delete;

  // Adds the signals this guard ignores to `set`, unless they were ignored
  // before it.
  void add_defaults(sigset_t& set) const {
    if (old_int_.sa_handler != SIG_IGN) sigaddset(&set, SIGINT);
    if (old_quit_.sa_handler != SIG_IGN) sigaddset(&set, SIGQUIT);
  }

 private:
  struct sigaction old_int_ {};
  struct sigaction old_quit_ {};
};

// Hands SIGTERM, SIGHUP and SIGQUIT on to one child while it lives and
// restores what was there. One child at a time: the handler's state is
// process-wide.
volatile sig_atomic_t stop_target = 0;       // the child's pid; 0: none
uint64_t kill_after_ns = 0;                  // set before the handler is installed
volatile uint64_t first_term_ns = 0;         // when the first SIGTERM came; 0: none yet

uint64_t monotonic_now_ns() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000ULL + static_cast<uint64_t>(now.tv_nsec);
}

void hand_on(int signal_number, siginfo_t* info, void*) {
  int saved_errno = errno;
  pid_t child = static_cast<pid_t>(stop_target);
  // Sent by the kernel or the terminal (si_code > 0): it went to the whole
  // job, the child included.
  bool from_a_process = info == nullptr || info->si_code <= 0;
  if (child > 0 && from_a_process) {
    int to_send = signal_number;
    if (signal_number == SIGTERM) {
      uint64_t now = monotonic_now_ns() | 1;  // never 0
      if (first_term_ns == 0) {
        first_term_ns = now;
      } else if (now - first_term_ns >= kill_after_ns) {
        to_send = SIGKILL;
      }
    }
    ::kill(child, to_send);
  }
  errno = saved_errno;
}

class HandOnStops {
 public:
  static constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGQUIT};

  // Before the child starts: what each signal's handling was when this
  // program started (SIGQUIT may be ignored for the child's start by
  // IgnoreInterrupts: `quit_before` is what it was before that).
  HandOnStops(uint32_t kill_after_ms, const struct sigaction& quit_before) {
    for (size_t i = 0; i < std::size(kSignals); ++i) {
      if (kSignals[i] == SIGQUIT) {
        old_[i] = quit_before;
      } else {
        sigaction(kSignals[i], nullptr, &old_[i]);
      }
    }
    kill_after_ns = static_cast<uint64_t>(kill_after_ms) * 1000000ULL;
  }
  // Once the child runs.
  void start(pid_t child) {
    first_term_ns = 0;
    stop_target = child;
    struct sigaction action {};
    action.sa_sigaction = hand_on;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int s : kSignals) sigaddset(&action.sa_mask, s);
    for (size_t i = 0; i < std::size(kSignals); ++i) {
      if (old_[i].sa_handler == SIG_IGN) continue;  // ignored from the start: stays so
      sigaction(kSignals[i], &action, nullptr);
      installed_[i] = true;
    }
  }
  ~HandOnStops() {
    for (size_t i = 0; i < std::size(kSignals); ++i) {
      if (installed_[i]) sigaction(kSignals[i], &old_[i], nullptr);
    }
    stop_target = 0;
  }
  HandOnStops(const HandOnStops&) = delete;
  HandOnStops& operator=(const HandOnStops&) = delete;

 private:
  struct sigaction old_[std::size(kSignals)] {};
  bool installed_[std::size(kSignals)] = {};
};

std::vector<std::string> child_environment(const EnvChanges& changes) {
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string_view entry = *e;
    size_t eq = entry.find('=');
    if (eq == std::string_view::npos) continue;
    vars[std::string(entry.substr(0, eq))] = std::string(entry.substr(eq + 1));
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      vars[name] = *value;
    } else {
      vars.erase(name);
    }
  }
  std::vector<std::string> out;
  for (const auto& [name, value] : vars) out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// posix_spawn's set-up, released however start() returns.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

struct Process::Impl {
  std::optional<IgnoreInterrupts> guard;
  std::optional<HandOnStops> stops;  // restored before `guard`
  void release_guards() {
    stops.reset();
    guard.reset();
  }
  pid_t pid = -1;
  bool reaped = false;
  Fd in, out, err;
};

Process::Process(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Process::Process(Process&&) noexcept = default;
Process& Process::operator=(Process&&) noexcept = default;
Process::~Process() = default;

Result<Process> Process::start(const std::string& program,
                               const std::vector<std::string>& args,
                               const SpawnOptions& options) {
  SpawnSetup setup;
  // The child's ends; ours are closed when this returns.
  Pipe in, out, err;
  if (options.input == Input::kPipe) {
    TRY_ASSIGN(in, make_pipe());
    posix_spawn_file_actions_adddup2(&setup.actions, in.read.fd, 0);
  } else if (options.input == Input::kNullDevice) {
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
  }
  if (options.capture_output) {
    TRY_ASSIGN(out, make_pipe());
    TRY_ASSIGN(err, make_pipe());
    posix_spawn_file_actions_adddup2(&setup.actions, out.write.fd, 1);
    posix_spawn_file_actions_adddup2(&setup.actions, err.write.fd, 2);
  }

  std::vector<std::string> argv_s;
  argv_s.push_back(program);
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv = pointers(argv_s);
  std::vector<std::string> env_s;
  std::vector<char*> envp;
  if (!options.env.empty()) {
    env_s = child_environment(options.env);
    envp = pointers(env_s);
  }

  auto impl = std::make_unique<Impl>();
  if (options.ignore_interrupts) impl->guard.emplace();
  if (options.hand_on_stops) {
    struct sigaction quit{};
    if (impl->guard) {
      quit = impl->guard->quit_before();
    } else {
      sigaction(SIGQUIT, nullptr, &quit);
    }
    impl->stops.emplace(options.kill_after_ms, quit);
  }
  // SIGPIPE: the program ignores it for itself.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  if (impl->guard) impl->guard->add_defaults(defaults);
  posix_spawnattr_setsigdefault(&setup.attr, &defaults);
  posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETSIGDEF);

  char** env = envp.empty() ? environ : envp.data();
  int rc = options.lookup == Lookup::kAsGiven
               ? ::posix_spawn(&impl->pid, program.c_str(), &setup.actions, &setup.attr,
                               argv.data(), env)
               : ::posix_spawnp(&impl->pid, program.c_str(), &setup.actions, &setup.attr,
                                argv.data(), env);
  if (rc != 0) {
    if (options.lookup == Lookup::kCommand &&
        (rc == ENOENT || (rc == ENOTDIR && program.find('/') == std::string::npos))) {
      return Error{std::string(kProgramNotFound)};
    }
    return Error{os_error_text(rc)};
  }
  if (impl->stops) impl->stops->start(impl->pid);
  if (options.input == Input::kPipe) {
    // Never block on a child that does not read: write what fits, then read.
    ::fcntl(in.write.fd, F_SETFL, ::fcntl(in.write.fd, F_GETFL) | O_NONBLOCK);
    impl->in = std::move(in.write);
  }
  impl->out = std::move(out.read);
  impl->err = std::move(err.read);
  return Process(std::move(impl));
}

uint32_t Process::pid() const { return impl_ ? static_cast<uint32_t>(impl_->pid) : 0; }

Result<ProcessOutput> Process::communicate(std::string_view input) {
  if (!impl_) return Error{os_error_text(EBADF)};
  ProcessOutput output;
  Impl& p = *impl_;
  if (input.empty()) p.in.reset();
  while (p.out.fd >= 0 || p.err.fd >= 0 || p.in.fd >= 0) {
    pollfd fds[3];
    int n = 0;
    int idx_out = -1, idx_err = -1, idx_in = -1;
    if (p.out.fd >= 0) { idx_out = n; fds[n++] = {p.out.fd, POLLIN, 0}; }
    if (p.err.fd >= 0) { idx_err = n; fds[n++] = {p.err.fd, POLLIN, 0}; }
    if (p.in.fd >= 0) { idx_in = n; fds[n++] = {p.in.fd, POLLOUT, 0}; }
    if (::poll(fds, static_cast<nfds_t>(n), -1) < 0) {
      if (errno == EINTR) continue;
      return last_error();
    }
    auto drain = [&](int idx, Fd& fd, std::string& sink) {
      if (idx < 0 || fds[idx].revents == 0) return;
      char buf[16384];
      ssize_t got = ::read(fd.fd, buf, sizeof buf);
      if (got > 0) {
        sink.append(buf, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fd.reset();
      }
    };
    drain(idx_out, p.out, output.out);
    drain(idx_err, p.err, output.err);
    if (idx_in >= 0 && fds[idx_in].revents != 0) {
      ssize_t put = ::write(p.in.fd, input.data(), input.size());
      if (put > 0) input.remove_prefix(static_cast<size_t>(put));
      if ((put < 0 && errno != EINTR && errno != EAGAIN) || input.empty()) p.in.reset();
    }
  }
  return output;
}

Result<ProcessExit> Process::wait() {
  if (!impl_ || impl_->reaped) return Error{os_error_text(ECHILD)};
  int status = 0;
  while (::waitpid(impl_->pid, &status, 0) < 0) {
    if (errno != EINTR) {
      Error error = last_error();
      impl_->release_guards();
      return error;
    }
  }
  impl_->reaped = true;
  impl_->release_guards();
  ProcessExit exit;
  if (WIFEXITED(status)) {
    exit.code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    exit.code = 128 + WTERMSIG(status);
  }
  return exit;
}

void Process::end() {
  if (!impl_ || impl_->reaped || impl_->pid <= 0) return;
  ::kill(impl_->pid, SIGKILL);
  int status = 0;
  while (::waitpid(impl_->pid, &status, 0) < 0 && errno == EINTR) {
  }
  impl_->reaped = true;
  impl_->release_guards();
}

}  // namespace vesk::platform
