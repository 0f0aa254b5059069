// Helpers for the Windows tests: whether they run under wine (which does not
// enforce everything Windows does), and a file held open by another reader.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

#include "platform/win_handle.h"

namespace vesk::testing {

inline bool under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Holds a file open for reading with `share` for `ms` milliseconds from
// another thread, as an antivirus scanner or an editor would.
class HeldOpen {
 public:
  HeldOpen(const std::string& path, DWORD share, DWORD ms)
      : file_(CreateFileW(platform::win::widen(path).c_str(), GENERIC_READ, share, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    thread_ = std::thread([this, ms] {
      Sleep(ms);
      file_.reset();
    });
  }
  ~HeldOpen() { thread_.join(); }
  HeldOpen(const HeldOpen&) = delete;
  HeldOpen& operator=(const HeldOpen&) = delete;

  bool held() const { return file_.valid(); }

 private:
  platform::win::UniqueHandle file_;
  std::thread thread_;
};

}  // namespace vesk::testing
