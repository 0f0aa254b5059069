#include "platform/console.h"
#include "platform/error.h"

#include "platform/win_handle.h"

namespace vesk::platform {

void init_console() {
  // No system dialog boxes (a missing disk, a crash) for a program that
  // scripts and agents run unattended. Writes to a closed pipe already come
  // back as errors on Windows.
  SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  // DLLs loaded from now on come from the system folder only, never from
  // beside the program (a Downloads folder) or from the current folder.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

namespace {

bool write_console(HANDLE h, std::string_view text) {
  std::wstring wide = win::widen(text);
  std::wstring_view rest = wide;
  while (!rest.empty()) {
    // Bounded pieces: old consoles refuse very large writes. A piece never
    // ends between the halves of a surrogate pair.
    size_t n = rest.size() < 8192 ? rest.size() : 8192;
    if (n < rest.size() && rest[n - 1] >= 0xD800 && rest[n - 1] <= 0xDBFF) --n;
    DWORD put = 0;
    if (!WriteConsoleW(h, rest.data(), static_cast<DWORD>(n), &put, nullptr) || put == 0) {
      return false;
    }
    rest.remove_prefix(put);
  }
  return true;
}

bool write_bytes(HANDLE h, std::string_view text) {
  while (!text.empty()) {
    DWORD chunk = static_cast<DWORD>(text.size() < (1u << 30) ? text.size() : (1u << 30));
    DWORD put = 0;
    if (!WriteFile(h, text.data(), chunk, &put, nullptr)) return false;
    // A pipe in non-blocking mode may take nothing; call that a failure
    // rather than spin.
    if (put == 0) return false;
    text.remove_prefix(put);
  }
  return true;
}

// 0 when every byte was written, else the error code; ERROR_INVALID_HANDLE
// when there is no such standard handle.
DWORD write_std(DWORD which, std::string_view text) {
  if (text.empty()) return ERROR_SUCCESS;
  HANDLE h = GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
  SetLastError(ERROR_SUCCESS);
  DWORD mode = 0;
  bool done = GetConsoleMode(h, &mode) ? write_console(h, text) : write_bytes(h, text);
  if (done) return ERROR_SUCCESS;
  DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error;  // took nothing, said nothing
}

Status written(DWORD error) {
  if (error != ERROR_SUCCESS) return Error{os_error_text(static_cast<int>(error))};
  return {};
}

}  // namespace

Status write_stdout(std::string_view text) { return written(write_std(STD_OUTPUT_HANDLE, text)); }
Status write_stderr(std::string_view text) { return written(write_std(STD_ERROR_HANDLE, text)); }

Status write_stdout_checked(std::string_view text) {
  HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return {};
  DWORD error = write_std(STD_OUTPUT_HANDLE, text);
  if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE) return {};
  return written(error);
}

}  // namespace vesk::platform
