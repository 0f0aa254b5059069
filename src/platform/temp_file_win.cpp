#include "platform/temp_file.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/win_handle.h"

namespace vesk::platform {

using win::UniqueHandle;
using win::widen;

Result<std::string> temp_folder() {
  // No fixed buffer: the folder may be longer than MAX_PATH. GetTempPathW
  // refuses such a folder, so then its own rule is followed here: TMP, TEMP,
  // USERPROFILE, as a full path.
  std::optional<std::wstring> path =
      win::sized_text([](wchar_t* b, DWORD n) { return GetTempPathW(n, b); });
  for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE"}) {
    if (path) break;
    std::optional<std::wstring> value =
        win::sized_text([&](wchar_t* b, DWORD n) { return GetEnvironmentVariableW(name, b, n); });
    if (!value) continue;
    path = win::sized_text(
        [&](wchar_t* b, DWORD n) { return GetFullPathNameW(value->c_str(), n, b, nullptr); });
  }
  if (!path) return last_error();
  std::wstring folder = std::move(*path);
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return utf16_to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(folder.data()),
                                           folder.size()));
}

Status write_new_file(const std::string& path, std::string_view bytes) {
  std::wstring wpath = widen(path);
  UniqueHandle file;
  for (int attempt = 0; attempt < 2; ++attempt) {
    // CREATE_NEW fails on any existing name, a link included, and never
    // opens what is there.
    file.reset(CreateFileW(wpath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (file) break;
    DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt > 0) {
      return Error{os_error_text(static_cast<int>(error))};
    }
    // DeleteFileW on a symbolic link removes the link, not its target.
    if (!DeleteFileW(wpath.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
      return last_error();
    }
  }
  while (!bytes.empty()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
    DWORD put = 0;
    if (!WriteFile(file.get(), bytes.data(), chunk, &put, nullptr)) {
      // Half a file is no use to anyone: it goes.
      Error error = last_error();
      file.reset();
      DeleteFileW(wpath.c_str());
      return error;
    }
    bytes.remove_prefix(put);
  }
  HANDLE h = file.release();
  if (!CloseHandle(h)) {
    Error error = last_error();
    DeleteFileW(wpath.c_str());
    return error;
  }
  return {};
}

}  // namespace vesk::platform
