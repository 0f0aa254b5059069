#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
  if (::geteuid() == 0) {
    // Root's new file would be root's: its owner could no longer read it.
    if (::chown(to.c_str(), st.st_uid, st.st_gid) != 0) return last_error();
  } else if (st.st_gid != ::getegid()) {
    // A user may only give a group they belong to; otherwise the new file
    // keeps theirs, which is no wider than the permission bits below allow.
    (void)::chown(to.c_str(), static_cast<uid_t>(-1), st.st_gid);
  }
  // After chown, which may clear the set-id bits.
  if (::chmod(to.c_str(), st.st_mode & 07777) != 0) return last_error();
  return {};
}

Result<bool> file_read_only(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    return last_error();
  }
  if (::geteuid() == 0) return (st.st_mode & 0222) == 0;
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) return false;
  if (errno == EACCES || errno == EPERM || errno == EROFS) return true;
  return last_error();
}

}  // namespace vesk::platform
