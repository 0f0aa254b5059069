// An exclusive lock between processes, on a file of its own.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"

namespace vesk::platform {

// Held while the object lives; released when it is destroyed, and by the
// system when the process ends, however it ends. POSIX: flock; Windows:
// LockFileEx.
class FileLock {
 public:
  // Takes the lock on the file at `path` (created when missing), waiting up
  // to `wait_ms` for another holder to let go. Fails with the system's
  // reason, or "another process holds it" when the wait ran out.
  static Result<FileLock> acquire(const std::string& path, unsigned wait_ms);

  FileLock(FileLock&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

 private:
  static constexpr intptr_t kNone = -1;
  explicit FileLock(intptr_t handle) : handle_(handle) {}
  void release();
  intptr_t handle_ = kNone;  // a descriptor, or a HANDLE
};

}  // namespace vesk::platform
