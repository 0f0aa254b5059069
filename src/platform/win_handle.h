// Windows-only helpers for the *_win.cpp files: owned handles, and the
// UTF-8 <-> UTF-16 conversions done at each system call.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "base/utf8.h"

namespace vesk::platform::win {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be UTF-16");

// A kernel handle closed on destruction. Both null and INVALID_HANDLE_VALUE
// count as "no handle", since Win32 uses either depending on the function.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return valid(); }

  HANDLE release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }
  void reset(HANDLE h = nullptr) {
    if (valid()) {
      // Closing must not disturb an error code the caller is about to read.
      DWORD saved = GetLastError();
      CloseHandle(h_);
      SetLastError(saved);
    }
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

// UTF-8 to a wide string for the W functions (ill-formed bytes become U+FFFD).
inline std::wstring widen(std::string_view utf8) {
  std::u16string u16 = utf8_to_utf16(utf8);
  return std::wstring(reinterpret_cast<const wchar_t*>(u16.data()), u16.size());
}

// A wide string from the system to UTF-8 (lone surrogates become U+FFFD).
inline std::string narrow(std::wstring_view wide) {
  return utf16_to_utf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

// The longest path the system takes, in UTF-16 units (with the "\\?\"
// prefix), terminator included.
inline constexpr DWORD kLongestPath = 32768;

inline bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The full path of a loaded module's file, this program's by default
// (GetModuleFileNameW, whose buffer is grown up to kLongestPath). nullopt
// when it fails, the reason in GetLastError.
inline std::optional<std::wstring> module_path(HMODULE module = nullptr) {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(module, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::nullopt;
    // A full buffer means the name may have been cut short.
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    if (buf.size() >= kLongestPath) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return std::nullopt;
    }
    buf.assign(buf.size() * 2, L'\0');
  }
}

// For the functions that return the length written, or the size needed
// (terminator included) when the buffer is too small, or 0 on failure.
template <class Call>
inline std::optional<std::wstring> sized_text(Call call) {
  std::wstring buf(MAX_PATH, L'\0');
  // The size can change between calls (an environment variable, say).
  for (int tries = 0; tries < 8; ++tries) {
    DWORD n = call(buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::nullopt;
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.assign(n, L'\0');
  }
  return std::nullopt;
}

}  // namespace vesk::platform::win
