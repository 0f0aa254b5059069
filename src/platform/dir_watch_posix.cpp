#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

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

class InotifyWatch final : public DirWatch {
 public:
  InotifyWatch(ThreadInotify& inotify, int wd) : inotify_(inotify), wd_(wd) {}
  ~InotifyWatch() override { inotify_rm_watch(inotify_.fd(), wd_); }

  void wait(unsigned ms) override {
    pollfd p{inotify_.fd(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(ms)) > 0) inotify_.drain();
  }

 private:
  ThreadInotify& inotify_;
  int wd_;
};

}  // namespace

std::unique_ptr<DirWatch> DirWatch::open(const std::string& folder) {
  ThreadInotify& inotify = thread_inotify();
  if (inotify.fd() < 0) return nullptr;
  // Events left from earlier watches of this thread would only cause a
  // needless wake-up.
  inotify.drain();
  int wd = inotify_add_watch(inotify.fd(), folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE);
  if (wd < 0) return nullptr;
  return std::make_unique<InotifyWatch>(inotify, wd);
}

}  // namespace vesk::platform
