#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

namespace {

// The process's file-creation mask. Linux tells it in /proc/self/status
// without changing it; only where that can't be read is it set and put
// back, which another thread creating a file at that moment could notice.
mode_t creation_mask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      found = std::strncmp(line, "Umask:", 6) == 0 && std::sscanf(line + 6, "%o", &mask) == 1;
    }
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask & 0777);
  }
  mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

}  // namespace

Status set_new_file_mode(const std::string& path, uint32_t mode) {
  const mode_t wanted = static_cast<mode_t>(mode & 0777);
  mode_t bits = wanted & ~creation_mask();
  if ((wanted & S_IXUSR) != 0) bits |= S_IXUSR | S_IRUSR;
  if (::chmod(path.c_str(), bits) != 0) return last_error();
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
