#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/file_lock.h"

namespace vesk::platform {

Result<FileLock> FileLock::acquire(const std::string& path, unsigned wait_ms) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return last_error();
  FileLock lock(fd);
  const uint64_t deadline = monotonic_ns() + uint64_t{wait_ms} * 1000000;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return lock;
    if (errno != EWOULDBLOCK && errno != EINTR) return last_error();
    if (monotonic_ns() >= deadline) return Error{"another process holds it"};
    ::usleep(1000);
  }
}

void FileLock::release() {
  if (handle_ == kNone) return;
  // Closing the descriptor lets go of the lock.
  ::close(static_cast<int>(handle_));
  handle_ = kNone;
}

}  // namespace vesk::platform
