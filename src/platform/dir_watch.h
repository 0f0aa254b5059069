// Waiting for a change in a folder.
#pragma once

#include <memory>
#include <string>

namespace vesk::platform {

// Watches one folder for new, renamed or rewritten entries (inotify on Linux,
// a change notification on Windows). It only shortens waits: a caller still
// polls, so a missed or unsupported notification costs at most one wait, and
// a spurious wake-up (on Linux, a change in another folder watched by the
// same thread) costs one needless look.
class DirWatch {
 public:
  // nullptr when the folder cannot be watched.
  static std::unique_ptr<DirWatch> open(const std::string& folder);
  virtual ~DirWatch() = default;

  // Returns when the folder changes or `ms` milliseconds have passed.
  virtual void wait(unsigned ms) = 0;
};

}  // namespace vesk::platform
