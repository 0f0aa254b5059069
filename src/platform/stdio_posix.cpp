#include <unistd.h>

#include <cerrno>

#include "platform/error.h"
#include "platform/stdio.h"

namespace vesk::platform {

void use_binary_stdio() {}

Result<size_t> read_stdin(char* buffer, size_t capacity) {
  for (;;) {
    ssize_t n = ::read(0, buffer, capacity);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) return last_error();
  }
}

}  // namespace vesk::platform
