#include "platform/dir_watch.h"

#include "platform/win_handle.h"

namespace vesk::platform {
namespace {

class ChangeWatch final : public DirWatch {
 public:
  explicit ChangeWatch(HANDLE h) : h_(h) {}
  ~ChangeWatch() override { FindCloseChangeNotification(h_); }

  void wait(unsigned ms) override {
    if (broken_) {
      Sleep(ms);
      return;
    }
    if (WaitForSingleObject(h_, ms) == WAIT_OBJECT_0 && !FindNextChangeNotification(h_)) {
      // Not re-armed, the handle may stay signalled: fall back to plain
      // sleeping rather than spin.
      broken_ = true;
    }
  }

 private:
  HANDLE h_;
  bool broken_ = false;
};

}  // namespace

std::unique_ptr<DirWatch> DirWatch::open(const std::string& folder) {
  HANDLE h = FindFirstChangeNotificationW(
      win::widen(folder).c_str(), FALSE,
      FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) return nullptr;
  return std::make_unique<ChangeWatch>(h);
}

}  // namespace vesk::platform
