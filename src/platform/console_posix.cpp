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

static bool write_fd(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool write_stdout(std::string_view text) { return write_fd(1, text); }
bool write_stderr(std::string_view text) { return write_fd(2, text); }

Status write_stdout_checked(std::string_view text) {
  if (write_fd(1, text)) return {};
  int error = errno;
  if (error == EPIPE) return {};
  return Error{os_error_text(error)};
}

}  // namespace vesk::platform
