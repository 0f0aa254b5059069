#include "platform/env.h"

#include "platform/win_handle.h"

namespace vesk::platform {

std::optional<std::string> get_env(const char* name) {
  std::wstring wname = win::widen(name);
  std::wstring buf(256, L'\0');
  for (;;) {
    // A set but empty variable also returns 0; only the error code tells the
    // two apart, so clear it first.
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableW(wname.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (n < buf.size()) return win::narrow(std::wstring_view(buf.data(), n));
    // Too small: n is the size needed, terminator included. Retry, since
    // another thread may change the variable in between.
    buf.assign(n, L'\0');
  }
}

}  // namespace vesk::platform
