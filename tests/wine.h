// For Windows tests: whether they run under wine, which does not enforce
// everything Windows does.
#pragma once

#include <windows.h>

namespace vesk::testing {

inline bool under_wine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace vesk::testing
