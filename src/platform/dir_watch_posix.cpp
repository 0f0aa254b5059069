#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "platform/dir_watch.h"

namespace vesk::platform {
namespace {

class InotifyWatch final : public DirWatch {
 public:
  explicit InotifyWatch(int fd) : fd_(fd) {}
  ~InotifyWatch() override { ::close(fd_); }

  void wait(unsigned ms) override {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(ms)) > 0) {
      // Drain the queued events; only their arrival matters.
      alignas(inotify_event) char buf[4096];
      while (::read(fd_, buf, sizeof buf) > 0) {
      }
    }
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<DirWatch> DirWatch::open(const std::string& folder) {
  int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return nullptr;
  if (inotify_add_watch(fd, folder.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE) < 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<InotifyWatch>(fd);
}

}  // namespace vesk::platform
