#include <atomic>
#include <cstdint>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/temp_file.h"
#include "platform/win_handle.h"
#include "support/temp_dir.h"

namespace vesk::platform {

using win::is_separator;
using win::narrow;
using win::widen;

namespace {

std::wstring hex(uint64_t value) {
  std::wstring out;
  do {
    out.insert(out.begin(), L"0123456789abcdef"[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return out;
}

// Deletes what `path` names: a folder's entries first. A link or junction
// to a folder is removed itself, never followed.
void remove_tree_wide(const std::wstring& path, int depth) {
  DWORD attrs = GetFileAttributesW(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) return;
  if (attrs & FILE_ATTRIBUTE_READONLY) {
    SetFileAttributesW(path.c_str(), attrs & ~DWORD{FILE_ATTRIBUTE_READONLY});
  }
  if ((attrs & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    DeleteFileW(path.c_str());
    return;
  }
  if ((attrs & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && depth < 256) {
    WIN32_FIND_DATAW entry{};
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring_view name = entry.cFileName;
        if (name != L"." && name != L"..") remove_tree_wide(path + L'\\' + entry.cFileName, depth + 1);
      } while (FindNextFileW(find, &entry));
      FindClose(find);
    }
  }
  RemoveDirectoryW(path.c_str());
}

}  // namespace

Result<std::string> make_temp_dir(std::string_view prefix) {
  TRY_ASSIGN(std::string base, temp_folder());
  std::wstring folder = widen(join_path(base, prefix));

  // Process id, a per-process counter and the clock: unique among
  // concurrent callers; a clash with a leftover folder just tries again.
  static std::atomic<uint32_t> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    std::wstring candidate = folder + hex(GetCurrentProcessId()) + L'-' +
                             hex(counter.fetch_add(1)) + L'-' +
                             hex(static_cast<uint64_t>(now.QuadPart) & 0xFFFFFFFFu);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) return narrow(candidate);
    if (GetLastError() != ERROR_ALREADY_EXISTS) return last_error();
  }
  return Error{os_error_text(ERROR_ALREADY_EXISTS)};
}

void remove_tree(const std::string& path) {
  std::wstring wide = widen(path);
  while (wide.size() > 3 && is_separator(wide.back())) wide.pop_back();
  if (!wide.empty()) remove_tree_wide(wide, 0);
}

}  // namespace vesk::platform
