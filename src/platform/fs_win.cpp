#include <atomic>
#include <cstddef>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/error.h"
#include "platform/fs.h"
#include "platform/temp_file.h"
#include "platform/win_handle.h"  // windows.h first

#include <winioctl.h>

namespace vesk::platform {

using win::narrow;
using win::UniqueHandle;
using win::widen;

const char kPathSeparator = '\\';
const char kExeSuffix[] = ".exe";

namespace {

// Other processes rename over and delete the files we read (and the other way
// round), so no open may lock anyone out.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The largest single ReadFile/WriteFile: DWORD-sized, well below the limit.
constexpr size_t kMaxIo = 1u << 30;

using win::is_separator;

bool is_directory(const std::wstring& path) {
  DWORD attrs = GetFileAttributesW(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder holding `path`, or "" when there is none to create ("C:\",
// "\\server\share", a bare name).
std::wstring parent_of(const std::wstring& path) {
  size_t end = path.size();
  while (end > 0 && is_separator(path[end - 1])) --end;
  while (end > 0 && !is_separator(path[end - 1])) --end;
  while (end > 0 && is_separator(path[end - 1])) --end;
  std::wstring parent = path.substr(0, end);
  // A drive ("C:") exists or not; it is never created.
  if (parent.empty() || (parent.size() == 2 && parent[1] == L':')) return {};
  return parent;
}

Status create_dirs_wide(const std::wstring& path, int depth) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return {};
  DWORD error = GetLastError();
  if (error == ERROR_PATH_NOT_FOUND && depth < 512) {
    std::wstring parent = parent_of(path);
    if (!parent.empty() && parent != path) {
      TRY(create_dirs_wide(parent, depth + 1));
      if (CreateDirectoryW(path.c_str(), nullptr)) return {};
      error = GetLastError();
    }
  }
  // Already there (also when someone else made it meanwhile, or when the
  // system denies creating what exists, like a drive's root).
  if (is_directory(path)) return {};
  return Error{os_error_text(static_cast<int>(error))};
}

// Renaming onto a file that another process has open (an antivirus, an
// indexer, an editor) fails until it closes the file.
bool transient_sharing_error(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

HANDLE to_handle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
intptr_t from_handle(HANDLE h) { return reinterpret_cast<intptr_t>(h); }

}  // namespace

bool is_path_separator(char c) { return c == '\\' || c == '/'; }

std::string join_path(std::string_view base, std::string_view name) {
  std::string out(base);
  if (!out.empty() && !is_path_separator(out.back())) out += '\\';
  out += name;
  return out;
}

bool is_full_path(std::string_view path) {
  auto sep = [](char c) { return c == '\\' || c == '/'; };
  bool letter = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') ||
                                     (path[0] >= 'a' && path[0] <= 'z'));
  if (letter && path[1] == ':' && sep(path[2])) return true;
  return path.size() >= 2 && sep(path[0]) && sep(path[1]);
}

Status create_dirs(const std::string& path) {
  if (path.empty()) return Error{os_error_text(ERROR_PATH_NOT_FOUND)};
  return create_dirs_wide(widen(path), 0);
}

Result<std::string> read_file(const std::string& path) {
  UniqueHandle file(CreateFileW(widen(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return last_error();
  std::string data;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 &&
      static_cast<uint64_t>(size.QuadPart) < (uint64_t{1} << 31)) {
    data.reserve(static_cast<size_t>(size.QuadPart));
  }
  char buf[8192];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buf, sizeof buf, &got, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) break;  // a pipe's end
      return last_error();
    }
    if (got == 0) break;
    data.append(buf, got);
  }
  return data;
}

namespace {

bool names_no_file(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Whether the reparse point at `path` (itself, not what it leads to) is a
// symbolic link; the reason in GetLastError when it can't be told.
std::optional<bool> is_symlink_point(const std::wstring& path) {
  UniqueHandle point(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                 OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                 nullptr));
  if (!point) return std::nullopt;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(point.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
    return std::nullopt;
  }
  return tag.ReparseTag == IO_REPARSE_TAG_SYMLINK;
}

}  // namespace

Result<FileRead> read_regular_file(const std::string& path) {
  FileRead found;
  std::wstring wide = widen(path);
  // Looked at before it is opened: a pipe, a console or a device is never
  // read, and a reparse point other than a symbolic link (a junction, an
  // app execution alias, a cloud placeholder) is no file of ours to edit.
  DWORD attrs = GetFileAttributesW(wide.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (names_no_file(error)) return found;
    // A device has no attributes to give (NUL under wine says "bad device
    // type"): it is no file of ours either.
    if (error == ERROR_BAD_DEV_TYPE || error == ERROR_INVALID_FUNCTION) {
      found.kind = FileRead::Kind::kNotRegular;
      return found;
    }
    return Error{os_error_text(static_cast<int>(error))};
  }
  if ((attrs & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    found.kind = FileRead::Kind::kNotRegular;
    return found;
  }
  if ((attrs & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    std::optional<bool> link = is_symlink_point(wide);
    if (!link) return last_error();
    if (!*link) {
      found.kind = FileRead::Kind::kNotRegular;
      return found;
    }
  }
  UniqueHandle file(CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    DWORD error = GetLastError();
    // A symbolic link to nothing: its target is what a write creates.
    if (names_no_file(error)) return found;
    return Error{os_error_text(static_cast<int>(error))};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    found.kind = FileRead::Kind::kNotRegular;
    return found;
  }
  if (!GetFileInformationByHandle(file.get(), &info)) return last_error();
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    found.kind = FileRead::Kind::kNotRegular;
    return found;
  }
  char buf[8192];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buf, sizeof buf, &got, nullptr)) return last_error();
    if (got == 0) break;
    found.bytes.append(buf, got);
  }
  found.kind = FileRead::Kind::kRegular;
  uint64_t index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  uint64_t written = (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                     info.ftLastWriteTime.dwLowDateTime;
  found.stamp = std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(index) + ":" +
                std::to_string(size) + ":" + std::to_string(written * 100);
  return found;
}

namespace {

// The rename of Windows 10 1809 and later: the old `to` goes at once even
// while others have it open (with delete sharing). nullopt when the system
// or the file system does not offer it.
// FileRenameInfoEx, which the headers declare only for newer targets.
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

std::optional<DWORD> posix_rename(const std::wstring& from, const std::wstring& to) {
  UniqueHandle file(CreateFileW(from.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return GetLastError();
  size_t name_bytes = to.size() * sizeof(wchar_t);
  std::vector<char> buf(sizeof(FILE_RENAME_INFO) + name_bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
  // The Flags that share their place with ReplaceIfExists in this form.
  const DWORD flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
  std::memcpy(buf.data(), &flags, sizeof flags);
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  std::memcpy(info->FileName, to.data(), name_bytes);
  if (SetFileInformationByHandle(file.get(), kFileRenameInfoEx, info,
                                 static_cast<DWORD>(buf.size()))) {
    return ERROR_SUCCESS;
  }
  DWORD error = GetLastError();
  if (error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
      error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED) {
    return std::nullopt;
  }
  return error;
}

}  // namespace

Status rename_replace(const std::string& from, const std::string& to) {
  std::wstring wfrom = widen(from), wto = widen(to);
  return retry_while_busy(
      [&]() -> BusyTry {
        std::optional<DWORD> error = posix_rename(wfrom, wto);
        if (!error) {
          error = MoveFileExW(wfrom.c_str(), wto.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                      ? ERROR_SUCCESS
                      : GetLastError();
        }
        if (*error == ERROR_SUCCESS) return {};
        return {Error{os_error_text(static_cast<int>(*error))}, transient_sharing_error(*error)};
      },
      [](uint32_t ms) { Sleep(ms); });
}

Status rename_no_replace(const std::string& from, const std::string& to) {
  if (!MoveFileExW(widen(from).c_str(), widen(to).c_str(), 0)) return last_error();
  return {};
}

Status remove_file(const std::string& path) {
  if (!DeleteFileW(widen(path).c_str())) return last_error();
  return {};
}

bool file_exists(const std::string& path) {
  return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool name_taken(const std::string& path) {
  return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool file_absent(const std::string& path) {
  if (GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

namespace {

// The symbolic link's own reparse data, as FSCTL_GET_REPARSE_POINT hands it
// out (the system headers keep this layout for drivers).
struct SymlinkReparseData {
  ULONG tag;
  USHORT data_length;
  USHORT reserved;
  USHORT substitute_offset;
  USHORT substitute_length;
  USHORT print_offset;
  USHORT print_length;
  ULONG flags;
  WCHAR names[1];
};

// Where the symbolic link at `link` leads, as written in it: a full path,
// or one relative to the link's folder. nullopt, with the reason in
// GetLastError, when it can't be read or isn't a symbolic link.
std::optional<std::wstring> read_symlink(const std::wstring& link) {
  UniqueHandle point(CreateFileW(link.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                 OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                 nullptr));
  if (!point) return std::nullopt;
  std::vector<char> buf(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  DWORD got = 0;
  if (!DeviceIoControl(point.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, buf.data(),
                       static_cast<DWORD>(buf.size()), &got, nullptr)) {
    return std::nullopt;
  }
  const auto* data = reinterpret_cast<const SymlinkReparseData*>(buf.data());
  const size_t names_at = offsetof(SymlinkReparseData, names);
  if (got < names_at || data->tag != IO_REPARSE_TAG_SYMLINK) {
    SetLastError(ERROR_NOT_A_REPARSE_POINT);
    return std::nullopt;
  }
  auto name = [&](USHORT offset, USHORT length) -> std::optional<std::wstring> {
    if (names_at + offset + length > got || length == 0) return std::nullopt;
    std::wstring text(length / sizeof(WCHAR), L'\0');
    std::memcpy(text.data(), buf.data() + names_at + offset, text.size() * sizeof(WCHAR));
    return text;
  };
  if (auto shown = name(data->print_offset, data->print_length)) return shown;
  std::optional<std::wstring> substitute = name(data->substitute_offset, data->substitute_length);
  if (!substitute) {
    SetLastError(ERROR_INVALID_REPARSE_DATA);
    return std::nullopt;
  }
  // "\??\C:\..." names the same place as "C:\...".
  if (substitute->rfind(L"\\??\\", 0) == 0) substitute->erase(0, 4);
  return substitute;
}

// The file a chain of symbolic links ending nowhere leads to: followed link
// by link, since the system can't open what isn't there.
Result<std::string> dangling_target(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::wstring wide = widen(at);
    DWORD attrs = GetFileAttributesW(wide.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return at;
    std::optional<std::wstring> next = read_symlink(wide);
    if (!next) return last_error();
    std::string target = narrow(*next);
    at = is_full_path(target) ? target : join_path(parent_folder(at), target);
  }
  return Error{os_error_text(ERROR_CANT_RESOLVE_FILENAME)};
}

}  // namespace

Result<std::string> link_target(const std::string& path) {
  std::wstring wide = widen(path);
  DWORD attrs = GetFileAttributesW(wide.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
  UniqueHandle file(CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) {
    DWORD error = GetLastError();
    if (names_no_file(error)) return dangling_target(path);
    return Error{os_error_text(static_cast<int>(error))};
  }
  std::wstring final_path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetFinalPathNameByHandleW(file.get(), final_path.data(),
                                        static_cast<DWORD>(final_path.size()), FILE_NAME_NORMALIZED);
    if (n == 0) return last_error();
    if (n < final_path.size()) {
      final_path.resize(n);
      break;
    }
    final_path.resize(n + 1);
  }
  std::wstring_view view = final_path;
  if (view.rfind(L"\\\\?\\UNC\\", 0) == 0) return "\\\\" + narrow(view.substr(8));
  if (view.rfind(L"\\\\?\\", 0) == 0) return narrow(view.substr(4));
  return narrow(view);
}

Result<std::vector<std::string>> list_dir(const std::string& path) {
  std::wstring pattern = widen(path);
  if (!pattern.empty() && !is_separator(pattern.back())) pattern += L'\\';
  pattern += L'*';

  struct FindCloser {
    HANDLE h;
    ~FindCloser() {
      if (h != INVALID_HANDLE_VALUE) FindClose(h);
    }
  };
  WIN32_FIND_DATAW entry{};
  FindCloser find{FindFirstFileW(pattern.c_str(), &entry)};
  std::vector<std::string> names;
  if (find.h == INVALID_HANDLE_VALUE) {
    // An empty drive root has no "." or "..", so nothing matches at all.
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return names;
    return last_error();
  }
  do {
    std::wstring_view name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(narrow(name));
  } while (FindNextFileW(find.h, &entry));
  if (GetLastError() != ERROR_NO_MORE_FILES) return last_error();
  return names;
}

// ---- WriteFile -------------------------------------------------------------

Result<WriteFile> WriteFile::create(const std::string& path) {
  HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return last_error();
  return WriteFile(from_handle(h));
}

Result<WriteFile> WriteFile::create_new(const std::string& path) {
  HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return last_error();
  return WriteFile(from_handle(h));
}

WriteFile::WriteFile(WriteFile&& other) noexcept : handle_(other.handle_) {
  other.handle_ = from_handle(INVALID_HANDLE_VALUE);
}

WriteFile& WriteFile::operator=(WriteFile&& other) noexcept {
  if (this != &other) {
    // As in the destructor: a caller that cares closes first.
    (void)close();
    handle_ = other.handle_;
    other.handle_ = from_handle(INVALID_HANDLE_VALUE);
  }
  return *this;
}

// A destructor has nobody to tell: a caller that needs to know how closing
// went calls close() itself.
WriteFile::~WriteFile() { (void)close(); }

Status WriteFile::write_all(std::string_view bytes) {
  if (to_handle(handle_) == INVALID_HANDLE_VALUE) return Error{os_error_text(ERROR_INVALID_HANDLE)};
  while (!bytes.empty()) {
    DWORD chunk = static_cast<DWORD>(bytes.size() < kMaxIo ? bytes.size() : kMaxIo);
    DWORD put = 0;
    // `::` for the system call: WriteFile here names this class.
    if (!::WriteFile(to_handle(handle_), bytes.data(), chunk, &put, nullptr)) return last_error();
    if (put == 0) return Error{os_error_text(ERROR_WRITE_FAULT)};
    bytes.remove_prefix(put);
  }
  return {};
}

Status WriteFile::flush_to_disk() {
  if (!FlushFileBuffers(to_handle(handle_))) return last_error();
  return {};
}

Status WriteFile::close() {
  HANDLE h = to_handle(handle_);
  if (h == INVALID_HANDLE_VALUE) return {};
  handle_ = from_handle(INVALID_HANDLE_VALUE);
  if (!CloseHandle(h)) return last_error();
  return {};
}

// ---- Paths -----------------------------------------------------------------

Result<std::string> self_exe_path() {
  std::optional<std::wstring> path = win::module_path();
  if (!path) return last_error();
  return narrow(*path);
}

}  // namespace vesk::platform
