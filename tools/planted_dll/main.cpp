// vesk-planted: a DLL for the tests that a program only loads DLLs from the
// system folder. Copied beside the program as, say, powrprof.dll, it
// announces any load by creating "<its own path>.loaded".
#include <windows.h>

#include <string>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  std::wstring path(32768, L'\0');
  DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return TRUE;
  path.resize(n);
  path += L".loaded";
  HANDLE marker = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  return TRUE;
}
