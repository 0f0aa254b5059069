#include <memory>
#include <mutex>
#include <optional>

#include "platform/error.h"
#include "platform/launch.h"
#include "platform/win_cmdline.h"
#include "platform/win_handle.h"

namespace vesk::platform {

using win::UniqueHandle;
using win::widen;

namespace {

// ---- Interrupts ---------------------------------------------------------

// Swallows Ctrl+C and Ctrl+Break for this process; the child, on the same
// console, still gets them. Closing the console and the like keep their
// default handling.
BOOL WINAPI swallow_interrupt(DWORD type) {
  return (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) ? TRUE : FALSE;
}

// The handler is installed once however many children are running, and
// removed when the last of them has been waited for. (Not
// SetConsoleCtrlHandler(NULL, TRUE): children would inherit that and ignore
// Ctrl+C themselves.)
std::mutex interrupt_mutex;
int interrupt_users = 0;

class IgnoreInterrupts {
 public:
  IgnoreInterrupts() {
    std::lock_guard lock(interrupt_mutex);
    if (interrupt_users++ == 0) SetConsoleCtrlHandler(swallow_interrupt, TRUE);
  }
  ~IgnoreInterrupts() {
    DWORD saved = GetLastError();
    {
      std::lock_guard lock(interrupt_mutex);
      if (--interrupt_users == 0) SetConsoleCtrlHandler(swallow_interrupt, FALSE);
    }
    SetLastError(saved);
  }
  IgnoreInterrupts(const IgnoreInterrupts&) = delete;
  IgnoreInterrupts& operator=(const IgnoreInterrupts&) = delete;
};

// ---- Program lookup -------------------------------------------------------

Error not_found() { return Error{std::string(kProgramNotFound)}; }

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// For the functions that return the length written, or the size needed
// (terminator included) when the buffer is too small, or 0 on failure.
template <class Call>
std::optional<std::wstring> sized_text(Call call) {
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

std::optional<std::wstring> own_folder() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::nullopt;
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    if (buf.size() >= 32768) return std::nullopt;
    buf.resize(buf.size() * 2);
  }
  size_t cut = buf.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return std::nullopt;
  buf.resize(cut);
  return buf;
}

std::optional<std::wstring> system_folder() {
  return sized_text([](wchar_t* b, DWORD n) { return GetSystemDirectoryW(b, n); });
}

std::optional<std::wstring> windows_folder() {
  return sized_text([](wchar_t* b, DWORD n) { return GetWindowsDirectoryW(b, n); });
}

std::optional<std::wstring> full_path(const std::wstring& path) {
  return sized_text(
      [&](wchar_t* b, DWORD n) { return GetFullPathNameW(path.c_str(), n, b, nullptr); });
}

std::wstring join(std::wstring_view folder, std::wstring_view name) {
  std::wstring out(folder);
  if (!out.empty() && !is_separator(out.back())) out += L'\\';
  out += name;
  return out;
}

// A fully qualified folder: "C:\..." or "\\server\...". Anything else
// depends on the current folder (or drive), which is never searched.
bool is_fully_qualified(std::wstring_view path) {
  if (path.size() >= 3 && path[1] == L':' && is_separator(path[2])) return true;
  return path.size() >= 2 && is_separator(path[0]) && is_separator(path[1]);
}

// The folders of PATH, in order: split at ';', surrounding quotes removed,
// empty and not fully qualified entries skipped.
std::vector<std::wstring> path_folders() {
  std::vector<std::wstring> folders;
  std::optional<std::wstring> path =
      sized_text([](wchar_t* b, DWORD n) { return GetEnvironmentVariableW(L"PATH", b, n); });
  if (!path) return folders;
  std::wstring_view rest = *path;
  while (!rest.empty()) {
    size_t semi = rest.find(L';');
    std::wstring_view entry = rest.substr(0, semi);
    rest = semi == std::wstring_view::npos ? std::wstring_view() : rest.substr(semi + 1);
    if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"') {
      entry = entry.substr(1, entry.size() - 2);
    }
    if (!entry.empty() && is_fully_qualified(entry)) folders.emplace_back(entry);
  }
  return folders;
}

// The file name part of a path: after the last separator, or after a drive
// ("C:x").
std::wstring_view file_name(std::wstring_view path) {
  size_t cut = path.find_last_of(L"\\/");
  if (cut != std::wstring_view::npos) return path.substr(cut + 1);
  if (path.size() >= 2 && path[1] == L':') return path.substr(2);
  return path;
}

// Names we never look up. Windows drops trailing dots and spaces when it
// opens a file, so "x.bat." or "x.bat " would open x.bat while not looking
// like a batch file: such names are refused outright rather than trimmed.
// A ':' past the drive names a stream, and wildcards or quotes name no
// file at all.
bool acceptable_name(std::wstring_view name) {
  if (name.empty() || name.back() == L'.' || name.back() == L' ') return false;
  return name.find_first_of(L":*?\"<>|") == std::wstring_view::npos;
}

bool is_regular_file(const std::wstring& path) {
  DWORD attrs = GetFileAttributesW(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The existing regular file at `path`, as a full path, after the checks
// above.
std::optional<std::wstring> existing_file(const std::wstring& path) {
  std::optional<std::wstring> full = full_path(path);
  if (!full || !acceptable_name(file_name(*full))) return std::nullopt;
  if (!is_regular_file(*full)) return std::nullopt;
  return full;
}

// The full path of the file to start for `program` (see launch.h).
Result<std::wstring> find_program(const std::string& program) {
  std::wstring name = widen(program);
  if (name.find(L'\0') != std::wstring::npos) return not_found();
  std::wstring_view base = file_name(name);
  if (!acceptable_name(base)) return not_found();
  if (base.find(L'.') == std::wstring_view::npos) name += L".exe";

  bool has_folder = name.find_first_of(L"\\/") != std::wstring::npos ||
                    (name.size() >= 2 && name[1] == L':');
  if (has_folder) {
    if (auto file = existing_file(name)) return *file;
    return not_found();
  }

  std::vector<std::wstring> folders;
  if (auto f = own_folder()) folders.push_back(std::move(*f));
  if (auto f = system_folder()) folders.push_back(std::move(*f));
  if (auto f = windows_folder()) folders.push_back(std::move(*f));
  for (std::wstring& f : path_folders()) folders.push_back(std::move(f));
  for (const std::wstring& folder : folders) {
    if (auto file = existing_file(join(folder, name))) return *file;
  }
  return not_found();
}

// ---- Standard handles -----------------------------------------------------

// Inheritable copies of this process's standard handles, for the child. A
// missing or invalid handle is passed on as it is.
struct StdHandles {
  UniqueHandle copies[3];
  HANDLE use[3] = {nullptr, nullptr, nullptr};

  StdHandles() {
    const DWORD ids[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int i = 0; i < 3; ++i) {
      HANDLE h = GetStdHandle(ids[i]);
      use[i] = h;
      if (h == nullptr || h == INVALID_HANDLE_VALUE) continue;
      HANDLE copy = nullptr;
      if (DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, TRUE,
                          DUPLICATE_SAME_ACCESS)) {
        copies[i].reset(copy);
        use[i] = copy;
      }
    }
  }

  std::vector<HANDLE> inheritable() const {
    std::vector<HANDLE> out;
    for (const UniqueHandle& c : copies) {
      if (c) out.push_back(c.get());
    }
    return out;
  }
};

// Limits what a child inherits to the given handles, where the system
// allows it: other inheritable handles in this process stay out.
class HandleList {
 public:
  explicit HandleList(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    if (handles_.empty()) return;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return;
    storage_.resize(size);
    auto* attrs = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(attrs, 1, 0, &size)) return;
    if (!UpdateProcThreadAttribute(attrs, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                   handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
      DeleteProcThreadAttributeList(attrs);
      return;
    }
    attrs_ = attrs;
  }
  ~HandleList() {
    if (attrs_ != nullptr) DeleteProcThreadAttributeList(attrs_);
  }
  HandleList(const HandleList&) = delete;
  HandleList& operator=(const HandleList&) = delete;

  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return attrs_; }

 private:
  std::vector<HANDLE> handles_;
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST attrs_ = nullptr;
};

}  // namespace

struct LaunchedProcess::Impl {
  std::optional<IgnoreInterrupts> guard{std::in_place};
  UniqueHandle process;
  DWORD pid = 0;
};

Result<LaunchedProcess> LaunchedProcess::start(const std::string& program,
                                               const std::vector<std::string>& args) {
  TRY_ASSIGN(std::wstring file, find_program(program));

  std::vector<std::wstring> wide_args;
  wide_args.reserve(args.size());
  for (const std::string& arg : args) wide_args.push_back(widen(arg));

  std::wstring application;
  std::wstring line;
  if (win::is_batch_file(file)) {
    // Left to itself CreateProcessW would run the batch file through cmd
    // with the arguments as they are, for cmd to interpret.
    std::optional<std::wstring> system = system_folder();
    if (!system) return last_error();
    application = join(*system, L"cmd.exe");
    TRY_ASSIGN(line, win::batch_command_line(file, wide_args));
  } else {
    application = file;
    // The child sees the name as it was given, as from a command prompt.
    std::wstring argv0 = widen(program);
    if (argv0.find(L'"') != std::wstring::npos) argv0 = file;
    TRY_ASSIGN(line, win::program_command_line(argv0, wide_args));
  }

  // Interrupts are ignored from here on, so that none is lost between the
  // child starting and the caller waiting for it.
  auto impl = std::make_unique<Impl>();

  StdHandles std_handles;
  HandleList handle_list(std_handles.inheritable());
  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof si.StartupInfo;
  si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  si.StartupInfo.hStdInput = std_handles.use[0];
  si.StartupInfo.hStdOutput = std_handles.use[1];
  si.StartupInfo.hStdError = std_handles.use[2];
  DWORD flags = CREATE_UNICODE_ENVIRONMENT;
  if (handle_list.get() != nullptr) {
    si.StartupInfo.cb = sizeof si;
    si.lpAttributeList = handle_list.get();
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }

  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                      nullptr, &si.StartupInfo, &pi)) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return not_found();
    return Error{os_error_text(static_cast<int>(error))};
  }
  UniqueHandle thread(pi.hThread);
  impl->process.reset(pi.hProcess);
  impl->pid = pi.dwProcessId;
  return LaunchedProcess(impl.release());
}

LaunchedProcess::LaunchedProcess(LaunchedProcess&& o) noexcept : impl_(o.impl_) {
  o.impl_ = nullptr;
}

LaunchedProcess& LaunchedProcess::operator=(LaunchedProcess&& o) noexcept {
  if (this != &o) {
    delete impl_;
    impl_ = o.impl_;
    o.impl_ = nullptr;
  }
  return *this;
}

LaunchedProcess::~LaunchedProcess() { delete impl_; }

uint32_t LaunchedProcess::pid() const {
  return impl_ == nullptr ? 0 : static_cast<uint32_t>(impl_->pid);
}

Result<int64_t> LaunchedProcess::wait() {
  if (impl_ == nullptr || !impl_->process) return Error{os_error_text(ERROR_INVALID_HANDLE)};
  if (WaitForSingleObject(impl_->process.get(), INFINITE) != WAIT_OBJECT_0) {
    Error error = last_error();
    impl_->guard.reset();
    return error;
  }
  DWORD code = 0;
  BOOL read = GetExitCodeProcess(impl_->process.get(), &code);
  Error error = read ? Error{} : last_error();
  impl_->guard.reset();
  if (!read) return error;
  // A crash status such as 0xC0000005 reads as a negative number.
  return int64_t{static_cast<int32_t>(code)};
}

}  // namespace vesk::platform
