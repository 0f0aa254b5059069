#include "platform/process_control.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <string_view>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::platform {
namespace {

// A file descriptor closed on destruction.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string proc_path(uint32_t pid, std::string_view rest) {
  return "/proc/" + std::to_string(pid) + "/" + std::string(rest);
}

bool same_process(uint32_t pid, uint64_t start) {
  auto created = process_start_time(pid);
  return created && *created == start;
}

Error not_the_process(uint32_t pid) {
  return Error{"process " + std::to_string(pid) + " has ended or is another process now"};
}

// A process id as the system's pid_t; nullopt for ids it cannot hold
// (kill(2) and setpriority(2) would read them as groups or as "self").
std::optional<pid_t> as_pid(uint32_t pid) {
  if (pid == 0 || pid > static_cast<uint32_t>(INT_MAX)) return std::nullopt;
  return static_cast<pid_t>(pid);
}

Status send_continue(pid_t pid, uint64_t start) {
  uint32_t id = static_cast<uint32_t>(pid);
#if defined(SYS_pidfd_open) && defined(SYS_pidfd_send_signal)
  // A pidfd names the process itself: once its creation time is checked
  // through it, a signal cannot reach a newer process with the same id.
  long fd = ::syscall(SYS_pidfd_open, pid, 0);
  if (fd >= 0) {
    UniqueFd pidfd(static_cast<int>(fd));
    if (!same_process(id, start)) return not_the_process(id);
    if (::syscall(SYS_pidfd_send_signal, pidfd.get(), SIGCONT, nullptr, 0) != 0) {
      return last_error();
    }
    return {};
  }
  if (errno != ENOSYS) return last_error();
#endif
  if (!same_process(id, start)) return not_the_process(id);
  if (::kill(pid, SIGCONT) != 0) return last_error();
  return {};
}

class PosixProcesses final : public ProcessControl {
 public:
  uint32_t own_pid() override { return current_pid(); }

  std::optional<uint64_t> start_time(uint32_t pid) override { return process_start_time(pid); }

  std::optional<std::string> image_path(uint32_t pid) override {
    if (!as_pid(pid)) return std::nullopt;
    std::string link = proc_path(pid, "exe");
    std::string target(4096, '\0');
    ssize_t n = ::readlink(link.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return std::nullopt;
    target.resize(static_cast<size_t>(n));
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.size() > kDeleted.size() && target.ends_with(kDeleted)) {
      target.resize(target.size() - kDeleted.size());
    }
    return target;
  }

  Status resume(uint32_t pid, uint64_t start) override {
    auto p = as_pid(pid);
    if (!p) return not_the_process(pid);
    return send_continue(*p, start);
  }

  Status restore_priority(uint32_t pid, uint64_t start, uint32_t priority_class) override {
    auto p = as_pid(pid);
    if (!p) return not_the_process(pid);
    auto nice = nice_for_priority_class(priority_class);
    if (!nice) return Error{os_error_text(EINVAL)};
    if (!same_process(pid, start)) return not_the_process(pid);
    // A nice value belongs to a thread: set it on every one, as a priority
    // class covers the whole process. Threads that end meanwhile are fine.
    auto threads = list_dir(proc_path(pid, "task"));
    if (!threads) {
      if (::setpriority(PRIO_PROCESS, static_cast<id_t>(*p), *nice) != 0) return last_error();
      return {};
    }
    bool leader_set = false;
    for (const std::string& name : *threads) {
      uint32_t tid = 0;
      auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), tid);
      if (ec != std::errc() || end != name.data() + name.size() || !as_pid(tid)) continue;
      if (::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), *nice) == 0) {
        if (tid == pid) leader_set = true;
      } else if (errno != ESRCH) {
        return last_error();
      }
    }
    if (!leader_set) return not_the_process(pid);
    return {};
  }
};

}  // namespace

ProcessControl& system_processes() {
  static PosixProcesses processes;
  return processes;
}

}  // namespace vesk::platform
