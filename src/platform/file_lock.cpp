// What the lock does the same on every platform; release() is each one's.
#include "platform/file_lock.h"

namespace vesk::platform {

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = other.handle_;
    other.handle_ = kNone;
  }
  return *this;
}

FileLock::~FileLock() { release(); }

}  // namespace vesk::platform
