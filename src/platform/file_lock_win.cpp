#include "platform/clock.h"
#include "platform/error.h"
#include "platform/file_lock.h"
#include "platform/win_handle.h"

namespace vesk::platform {

Result<FileLock> FileLock::acquire(const std::string& path, unsigned wait_ms) {
  HANDLE h = CreateFileW(win::widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return last_error();
  FileLock lock(reinterpret_cast<intptr_t>(h));
  const uint64_t deadline = monotonic_ns() + uint64_t{wait_ms} * 1000000;
  for (;;) {
    OVERLAPPED at{};
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
      return lock;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION) return last_error();
    if (monotonic_ns() >= deadline) return Error{"another process holds it"};
    Sleep(1);
  }
}

void FileLock::release() {
  if (handle_ == kNone) return;
  // Closing the handle lets go of the lock.
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNone;
}

}  // namespace vesk::platform
