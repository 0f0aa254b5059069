#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/error.h"
#include "platform/temp_file.h"

namespace vesk::platform {

Result<std::string> temp_folder() {
  const char* base = std::getenv("TMPDIR");
  std::string folder = base != nullptr && *base != '\0' ? base : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

Status write_new_file(const std::string& path, std::string_view bytes) {
  int fd = -1;
  for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
    // O_EXCL with O_CREAT fails on any existing name, a dangling link too.
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) break;
    if (errno != EEXIST || attempt > 0) return last_error();
    // unlink removes the name itself: a link goes, its target stays.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return last_error();
  }
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      // Half a file is no use to anyone: it goes.
      Error error = last_error();
      ::close(fd);
      ::unlink(path.c_str());
      return error;
    }
    done += static_cast<size_t>(put);
  }
  if (::close(fd) != 0) {
    Error error = last_error();
    ::unlink(path.c_str());
    return error;
  }
  return {};
}

}  // namespace vesk::platform
