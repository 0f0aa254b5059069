#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>

#include "platform/error.h"
#include "support/reap.h"

namespace vesk::platform {

Result<Reaped> reap(Process& process) {
  int status = 0;
  rusage usage{};
  while (::wait4(static_cast<pid_t>(process.pid()), &status, 0, &usage) < 0) {
    if (errno != EINTR) return last_error();
  }
  Reaped reaped;
  reaped.peak_memory_kib = static_cast<uint64_t>(usage.ru_maxrss);
  if (WIFEXITED(status)) {
    reaped.code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    reaped.code = 128 + WTERMSIG(status);
  }
  return reaped;
}

}  // namespace vesk::platform
