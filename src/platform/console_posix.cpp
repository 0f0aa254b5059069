#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/console.h"
#include "platform/error.h"

namespace vesk::platform {

void init_console() {
  // A closed pipe then fails the write with EPIPE. Children started by `run`
  // get the default disposition back (see process_posix.cpp).
  signal(SIGPIPE, SIG_IGN);
}

namespace {

// 0 when every byte was written, else the error number.
int write_fd(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

Status written(int error) {
  if (error != 0) return Error{os_error_text(error)};
  return {};
}

}  // namespace

Status write_stdout(std::string_view text) { return written(write_fd(1, text)); }
Status write_stderr(std::string_view text) { return written(write_fd(2, text)); }

Status write_stdout_checked(std::string_view text) {
  int error = write_fd(1, text);
  if (error == EPIPE) return {};
  return written(error);
}

}  // namespace vesk::platform
