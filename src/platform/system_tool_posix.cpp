#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/error.h"
#include "platform/system_tool.h"

extern char** environ;

namespace vesk::platform {

namespace {

struct Fd {
  int fd = -1;
  Fd() = default;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }
  void reset() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

}  // namespace

Result<ToolOutput> run_hidden_tool(const std::string& program,
                                   const std::vector<std::string>& args) {
  int out_pipe[2], err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return last_error();
  Fd out_r(out_pipe[0]), out_w(out_pipe[1]);
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) return last_error();
  Fd err_r(err_pipe[0]), err_w(err_pipe[1]);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
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

  pid_t pid = -1;
  // posix_spawnp searches PATH for a bare name, like a shell.
  int rc = ::posix_spawnp(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return Error{os_error_text(rc)};
  out_w.reset();
  err_w.reset();

  // Both pipes at once, so that a tool filling one cannot stall on it while
  // we wait on the other.
  ToolOutput result;
  Error failure;
  bool failed = false;
  while (out_r.fd >= 0 || err_r.fd >= 0) {
    pollfd fds[2];
    int n = 0;
    int idx_out = -1, idx_err = -1;
    if (out_r.fd >= 0) { idx_out = n; fds[n++] = {out_r.fd, POLLIN, 0}; }
    if (err_r.fd >= 0) { idx_err = n; fds[n++] = {err_r.fd, POLLIN, 0}; }
    if (::poll(fds, static_cast<nfds_t>(n), -1) < 0) {
      if (errno == EINTR) continue;
      failure = last_error();
      failed = true;
      break;
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
    drain(idx_out, out_r, result.out);
    drain(idx_err, err_r, result.err);
  }
  out_r.reset();
  err_r.reset();
  if (failed) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return last_error();
  }
  if (failed) return failure;
  if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exit_code = 128 + WTERMSIG(status);
  }
  return result;
}

}  // namespace vesk::platform
