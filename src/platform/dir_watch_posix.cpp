#include <poll.h>
#include <sys/stat.h>
#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/clock.h"
#include "platform/dir_watch.h"

namespace vesk::platform {
namespace {

// One inotify instance per thread, kept for the thread's life: closing an
// inotify descriptor waits for the kernel to retire its watches, which costs
// milliseconds, while adding and removing a watch is cheap.
class ThreadInotify {
 public:
  ThreadInotify() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
  ~ThreadInotify() {
    if (fd_ >= 0) ::close(fd_);
  }
  ThreadInotify(const ThreadInotify&) = delete;
  ThreadInotify& operator=(const ThreadInotify&) = delete;
  int fd() const { return fd_; }

  // Reads and drops every queued event.
  void drain() {
    alignas(inotify_event) char buf[4096];
    while (::read(fd_, buf, sizeof buf) > 0) {
    }
  }

 private:
  int fd_;
};

ThreadInotify& thread_inotify() {
  thread_local ThreadInotify instance;
  return instance;
}

// The kernel retires a removed watch only after a grace period, and closing
// the inotify descriptor (at the latest when the process exits) waits for
// that: about 10 ms, more than a whole exchange with the tray app, which
// answers within a millisecond or two. So the watch is armed only once a few
// quick looks, spaced by short growing pauses, have not found the change.
// Every wait before then, and the one that arms the watch, returns early so
// that the caller looks again: nothing that happened before the watch was
// armed goes unseen.
class InotifyWatch final : public DirWatch {
 public:
  InotifyWatch(ThreadInotify& inotify, std::string folder)
      : inotify_(inotify), folder_(std::move(folder)) {}
  ~InotifyWatch() override {
    if (wd_ >= 0) inotify_rm_watch(inotify_.fd(), wd_);
  }

  void wait(unsigned ms) override {
    if (state_ == State::kQuickLooks) {
      pause_us(std::min<unsigned long>(pause_us_, ms * 1000UL));
      pause_us_ *= 2;
      if (pause_us_ > kLastQuickPauseUs) arm();
      return;
    }
    if (state_ == State::kUnwatchable) {
      sleep_ms(ms);
      return;
    }
    pollfd p{inotify_.fd(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(ms)) > 0) inotify_.drain();
  }

 private:
  enum class State { kQuickLooks, kArmed, kUnwatchable };
  static constexpr unsigned long kFirstQuickPauseUs = 50;
  static constexpr unsigned long kLastQuickPauseUs = 1600;

  static void pause_us(unsigned long us) {
    timespec t{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
  }

  void arm() {
    // Events left from earlier watches of this thread would only cause a
    // needless wake-up.
    inotify_.drain();
    wd_ = inotify_add_watch(inotify_.fd(), folder_.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE);
    state_ = wd_ >= 0 ? State::kArmed : State::kUnwatchable;
  }

  ThreadInotify& inotify_;
  std::string folder_;
  State state_ = State::kQuickLooks;
  unsigned long pause_us_ = kFirstQuickPauseUs;
  int wd_ = -1;
};

}  // namespace

std::unique_ptr<DirWatch> DirWatch::open(const std::string& folder) {
  ThreadInotify& inotify = thread_inotify();
  if (inotify.fd() < 0) return nullptr;
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
  return std::make_unique<InotifyWatch>(inotify, folder);
}

}  // namespace vesk::platform
