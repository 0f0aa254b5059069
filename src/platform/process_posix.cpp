#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/fs.h"
#include "platform/process.h"

extern char** environ;

namespace vesk::platform {

uint32_t current_pid() { return static_cast<uint32_t>(::getpid()); }

namespace {

std::optional<uint64_t> parse_u64(std::string_view text) {
  uint64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

// Seconds since 1970 at which the system booted: the `btime` line of
// /proc/stat. Fixed while the system runs, so read once.
std::optional<uint64_t> boot_time() {
  static const std::optional<uint64_t> cached = []() -> std::optional<uint64_t> {
    auto text = read_file("/proc/stat");
    if (!text) return std::nullopt;
    std::string_view rest = *text;
    while (!rest.empty()) {
      size_t eol = rest.find('\n');
      std::string_view line = rest.substr(0, eol);
      rest = eol == std::string_view::npos ? std::string_view{} : rest.substr(eol + 1);
      if (line.substr(0, 6) == "btime ") return parse_u64(line.substr(6));
    }
    return std::nullopt;
  }();
  return cached;
}

}  // namespace

std::optional<uint64_t> process_start_time(uint32_t pid) {
  if (pid == 0) return std::nullopt;
  auto text = read_file("/proc/" + std::to_string(pid) + "/stat");
  if (!text) return std::nullopt;
  // The command name (field 2) is in parentheses and may itself hold spaces
  // and parentheses: the fields after it start after the last ')'.
  size_t close = text->rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::string_view rest = std::string_view(*text).substr(close + 1);
  // Fields from 3 (state) on, separated by single spaces.
  std::string_view fields[20];
  for (int i = 0; i < 20; ++i) {
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    size_t end = rest.find(' ');
    fields[i] = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
  }
  std::string_view state = fields[0];   // field 3
  if (state.empty() || state == "Z" || state == "X" || state == "x") return std::nullopt;
  auto start_ticks = parse_u64(fields[19]);  // field 22
  auto btime = boot_time();
  long ticks_per_second = ::sysconf(_SC_CLK_TCK);
  if (!start_ticks || !btime || ticks_per_second <= 0) return std::nullopt;
  return kUnixEpochFiletime + *btime * 10000000ULL +
         *start_ticks * 10000000ULL / static_cast<uint64_t>(ticks_per_second);
}

// ---- Children with captured output -------------------------------------

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

std::vector<std::string> child_environment(const EnvChanges& changes) {
  std::map<std::string, std::string> vars;
  std::vector<std::string> order;
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

}  // namespace

struct Child::Impl {
  pid_t pid = -1;   // -1 once waited for
  uint32_t id = 0;  // the process id, kept after the wait
  Fd in, out, err;
  std::string input;
};

Result<Child> Child::start(const std::string& program,
                           const std::vector<std::string>& args,
                           const EnvChanges& env, const std::string& input) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (::pipe2(in_pipe, O_CLOEXEC) != 0) return last_error();
  Fd in_r(in_pipe[0]), in_w(in_pipe[1]);
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return last_error();
  Fd out_r(out_pipe[0]), out_w(out_pipe[1]);
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) return last_error();
  Fd err_r(err_pipe[0]), err_w(err_pipe[1]);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_r.fd, 0);
  posix_spawn_file_actions_adddup2(&actions, out_w.fd, 1);
  posix_spawn_file_actions_adddup2(&actions, err_w.fd, 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> argv_s;
  argv_s.push_back(program);
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_s = child_environment(env);
  std::vector<char*> envp;
  for (auto& e : env_s) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return Error{os_error_text(rc)};

  auto* impl = new Impl;
  impl->pid = pid;
  impl->id = static_cast<uint32_t>(pid);
  // Never block on a child that does not read: write what fits, then read.
  ::fcntl(in_w.fd, F_SETFL, ::fcntl(in_w.fd, F_GETFL) | O_NONBLOCK);
  impl->in = std::move(in_w);
  impl->out = std::move(out_r);
  impl->err = std::move(err_r);
  impl->input = input;
  return Child(impl);
}

Child::Child(Child&& o) noexcept : impl_(o.impl_) { o.impl_ = nullptr; }
Child& Child::operator=(Child&& o) noexcept {
  if (this != &o) {
    this->~Child();
    impl_ = o.impl_;
    o.impl_ = nullptr;
  }
  return *this;
}

Child::~Child() {
  if (impl_ == nullptr) return;
  if (impl_->pid > 0) {
    ::kill(impl_->pid, SIGKILL);
    int status = 0;
    while (::waitpid(impl_->pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  delete impl_;
  impl_ = nullptr;
}

uint32_t Child::pid() const { return impl_->id; }

Result<CapturedRun> Child::wait() {
  CapturedRun run;
  std::string_view input = impl_->input;
  if (input.empty()) impl_->in.reset();
  while (impl_->out.fd >= 0 || impl_->err.fd >= 0 || impl_->in.fd >= 0) {
    pollfd fds[3];
    int n = 0;
    int idx_out = -1, idx_err = -1, idx_in = -1;
    if (impl_->out.fd >= 0) { idx_out = n; fds[n++] = {impl_->out.fd, POLLIN, 0}; }
    if (impl_->err.fd >= 0) { idx_err = n; fds[n++] = {impl_->err.fd, POLLIN, 0}; }
    if (impl_->in.fd >= 0) { idx_in = n; fds[n++] = {impl_->in.fd, POLLOUT, 0}; }
    if (::poll(fds, static_cast<nfds_t>(n), -1) < 0) {
      if (errno == EINTR) continue;
      return last_error();
    }
    auto drain = [&](int idx, Fd& fd, std::string& sink) {
      if (idx < 0 || fds[idx].revents == 0) return;
      char buf[8192];
      ssize_t got = ::read(fd.fd, buf, sizeof buf);
      if (got > 0) {
        sink.append(buf, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fd.reset();
      }
    };
    drain(idx_out, impl_->out, run.out);
    drain(idx_err, impl_->err, run.err);
    if (idx_in >= 0 && fds[idx_in].revents != 0) {
      ssize_t put = ::write(impl_->in.fd, input.data(), input.size());
      if (put > 0) input.remove_prefix(static_cast<size_t>(put));
      if ((put < 0 && errno != EINTR && errno != EAGAIN) || input.empty()) impl_->in.reset();
    }
  }
  int status = 0;
  rusage usage{};
  while (::wait4(impl_->pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) return last_error();
  }
  impl_->pid = -1;
  run.peak_memory_kib = static_cast<uint64_t>(usage.ru_maxrss);
  if (WIFEXITED(status)) {
    run.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    run.exit_code = 128 + WTERMSIG(status);
  }
  return run;
}

Result<CapturedRun> run_captured(const std::string& program,
                                 const std::vector<std::string>& args,
                                 const EnvChanges& env, const std::string& input) {
  TRY_ASSIGN(Child child, Child::start(program, args, env, input));
  return child.wait();
}

}  // namespace vesk::platform
