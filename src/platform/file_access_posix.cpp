#include <sys/stat.h>

#include <cerrno>

#include "platform/error.h"
#include "platform/file_access.h"

namespace vesk::platform {

Status copy_access(const std::string& from, const std::string& to) {
  struct stat st{};
  if (::stat(from.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return {};
    return last_error();
  }
  if (::chmod(to.c_str(), st.st_mode & 0777) != 0) return last_error();
  return {};
}

}  // namespace vesk::platform
