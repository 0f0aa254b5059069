// vesk-planted: a DLL for the tests that a program only loads DLLs from the
// system folder. Copied beside the program as, say, powrprof.dll, it
// announces any load by creating "<its own path>.loaded".
#include <windows.h>

#include <string>

#include "platform/win_handle.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  std::optional<std::wstring> path = vesk::platform::win::module_path(self);
  if (!path) return TRUE;
  *path += L".loaded";
  HANDLE marker = CreateFileW(path->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  return TRUE;
}
