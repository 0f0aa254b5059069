#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "platform/error.h"
#include "platform/fs.h"

namespace vesk::platform {

const char kPathSeparator = '/';
const char kExeSuffix[] = "";

bool is_path_separator(char c) { return c == '/'; }

std::string join_path(std::string_view base, std::string_view name) {
  std::string out(base);
  if (!out.empty() && !is_path_separator(out.back())) out += '/';
  out += name;
  return out;
}

bool is_full_path(std::string_view path) { return !path.empty() && path.front() == '/'; }

Status create_dirs(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) return Error{os_error_text(ec.value())};
  return {};
}

Result<std::string> read_file(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return last_error();
  std::string data;
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      Error e = last_error();
      ::close(fd);
      return e;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return data;
}

Status rename_replace(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return last_error();
  return {};
}

Status rename_no_replace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  // A file system without the flag: a hard link fails just the same on an
  // existing name.
  if (errno != EINVAL && errno != ENOSYS) return last_error();
  if (::link(from.c_str(), to.c_str()) != 0) return last_error();
  if (::unlink(from.c_str()) != 0) {
    Error e = last_error();
    // Undoes the link; the unlink's failure above is the one to report.
    (void)::unlink(to.c_str());
    return e;
  }
  return {};
}

Status remove_file(const std::string& path) {
  if (::unlink(path.c_str()) != 0) return last_error();
  return {};
}

bool file_exists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0;
}

bool name_taken(const std::string& path) {
  struct stat st{};
  return ::lstat(path.c_str(), &st) == 0;
}

bool file_absent(const std::string& path) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) == 0) return false;
  return errno == ENOENT || errno == ENOTDIR;
}

Result<std::string> link_target(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st{};
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
    if (n < 0) return last_error();
    target.resize(static_cast<size_t>(n));
    at = is_full_path(target) ? target : join_path(parent_folder(at), target);
  }
  return Error{os_error_text(ELOOP)};
}

namespace {

// A descriptor closed on destruction.
struct ReadingFd {
  int fd = -1;
  ~ReadingFd() {
    if (fd >= 0) ::close(fd);
  }
};

bool names_no_file(int error) { return error == ENOENT || error == ENOTDIR; }

}  // namespace

Result<FileRead> read_regular_file(const std::string& path) {
  FileRead found;
  // Looked at before it is opened: opening a FIFO waits for a writer, and
  // opening a device can do things.
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) {
    if (names_no_file(errno)) return found;
    return last_error();
  }
  if (!S_ISREG(st.st_mode)) {
    found.kind = FileRead::Kind::kNotRegular;
    return found;
  }
  // Something else may take the name meanwhile: O_NONBLOCK keeps a FIFO
  // from blocking the open, and fstat says what was opened.
  ReadingFd file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (file.fd < 0) {
    if (names_no_file(errno)) return found;
    return last_error();
  }
  if (::fstat(file.fd, &st) != 0) return last_error();
  if (!S_ISREG(st.st_mode)) {
    found.kind = FileRead::Kind::kNotRegular;
    return found;
  }
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(file.fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return last_error();
    }
    if (n == 0) break;
    found.bytes.append(buf, static_cast<size_t>(n));
  }
  found.kind = FileRead::Kind::kRegular;
  uint64_t mtime_ns = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000ULL +
                      static_cast<uint64_t>(st.st_mtim.tv_nsec);
  found.stamp = std::to_string(static_cast<uint64_t>(st.st_dev)) + ":" +
                std::to_string(static_cast<uint64_t>(st.st_ino)) + ":" +
                std::to_string(static_cast<uint64_t>(st.st_size)) + ":" + std::to_string(mtime_ns);
  return found;
}

Result<std::vector<std::string>> list_dir(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return last_error();
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(dir);
  return names;
}

Result<WriteFile> WriteFile::create(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return last_error();
  return WriteFile(fd);
}

Result<WriteFile> WriteFile::create_new(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return last_error();
  return WriteFile(fd);
}

WriteFile::WriteFile(WriteFile&& other) noexcept : handle_(other.handle_) {
  other.handle_ = -1;
}

WriteFile& WriteFile::operator=(WriteFile&& other) noexcept {
  if (this != &other) {
    // As in the destructor: a caller that cares closes first.
    (void)close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

// A destructor has nobody to tell: a caller that needs to know how closing
// went calls close() itself.
WriteFile::~WriteFile() { (void)close(); }

Status WriteFile::write_all(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return last_error();
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

Status WriteFile::flush_to_disk() {
  if (::fsync(static_cast<int>(handle_)) != 0) return last_error();
  return {};
}

Status WriteFile::close() {
  if (handle_ < 0) return {};
  int fd = static_cast<int>(handle_);
  handle_ = -1;
  if (::close(fd) != 0 && errno != EINTR) return last_error();
  return {};
}

Result<std::string> self_exe_path() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n < 0) return last_error();
  return std::string(buf, static_cast<size_t>(n));
}

}  // namespace vesk::platform
