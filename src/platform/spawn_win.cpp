#include <algorithm>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/error.h"
#include "platform/spawn.h"
#include "platform/win_cmdline.h"
#include "platform/win_handle.h"

namespace vesk::platform {

using win::UniqueHandle;
using win::widen;

namespace {

// ---- Interrupts ---------------------------------------------------------

// While a child runs, Ctrl+C and Ctrl+Break are swallowed by this process;
// the child, on the same console, still gets them. Closing the console
// waits for the child (below); logoff and shutdown keep their default
// handling.
//
// A console hands an interrupt to each of its processes on a thread of its
// own, in no set order: the one that ends the child may reach this process
// only after the child is gone. So interrupts are also swallowed for a
// short while after the last child ended; otherwise the caller, releasing
// what it held for the child, would be ended with the wrong status.
constexpr ULONGLONG kLateInterruptMs = 1000;
// When the console closes, every process on it gets the event and the
// system ends each about five seconds later. While a child runs, this
// process lets that time pass instead of ending at once, so that the caller
// sees the child (which got the event too) end and tidies up after it; it
// ends by itself as soon as it is done.
constexpr DWORD kCloseGraceMs = 4500;

std::mutex interrupt_mutex;
int interrupt_users = 0;
ULONGLONG last_user_left = 0;  // GetTickCount64() when the last child ended
bool interrupt_handler_installed = false;

BOOL WINAPI swallow_interrupt(DWORD type) {
  if (type == CTRL_CLOSE_EVENT) {
    bool child_running = false;
    {
      std::lock_guard lock(interrupt_mutex);
      child_running = interrupt_users > 0;
    }
    if (child_running) Sleep(kCloseGraceMs);
    return FALSE;
  }
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  std::lock_guard lock(interrupt_mutex);
  if (interrupt_users > 0) return TRUE;
  return last_user_left != 0 && GetTickCount64() - last_user_left < kLateInterruptMs ? TRUE
                                                                                    : FALSE;
}

// The handler is installed with the first child and stays: when no child
// runs and none ended just now it passes interrupts on to the default
// handling. (Not SetConsoleCtrlHandler(NULL, TRUE): children would inherit
// that and ignore Ctrl+C themselves.)
class IgnoreInterrupts {
 public:
  IgnoreInterrupts() {
    std::lock_guard lock(interrupt_mutex);
    ++interrupt_users;
    if (!interrupt_handler_installed) {
      interrupt_handler_installed = SetConsoleCtrlHandler(swallow_interrupt, TRUE) != FALSE;
    }
  }
  ~IgnoreInterrupts() {
    std::lock_guard lock(interrupt_mutex);
    if (--interrupt_users == 0) last_user_left = GetTickCount64();
  }
  IgnoreInterrupts(const IgnoreInterrupts&) = delete;
  IgnoreInterrupts& operator=(const IgnoreInterrupts&) = delete;
};

// ---- Program lookup -------------------------------------------------------

Error not_found() { return Error{std::string(kProgramNotFound)}; }

using win::is_separator;

std::optional<std::wstring> own_folder() {
  std::optional<std::wstring> path = win::module_path();
  if (!path) return std::nullopt;
  size_t cut = path->find_last_of(L"\\/");
  if (cut == std::wstring::npos) return std::nullopt;
  path->resize(cut);
  return path;
}

std::optional<std::wstring> system_folder() {
  return win::sized_text([](wchar_t* b, DWORD n) { return GetSystemDirectoryW(b, n); });
}

std::optional<std::wstring> windows_folder() {
  return win::sized_text([](wchar_t* b, DWORD n) { return GetWindowsDirectoryW(b, n); });
}

std::optional<std::wstring> full_path(const std::wstring& path) {
  return win::sized_text(
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
      win::sized_text([](wchar_t* b, DWORD n) { return GetEnvironmentVariableW(L"PATH", b, n); });
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
  // A name without an extension is tried with each of PATHEXT's program
  // extensions in turn, in each folder.
  std::vector<std::wstring> extensions{L""};
  if (base.find(L'.') == std::wstring_view::npos) {
    std::optional<std::wstring> pathext =
        win::sized_text([](wchar_t* b, DWORD n) { return GetEnvironmentVariableW(L"PATHEXT", b, n); });
    extensions = win::program_extensions(pathext ? *pathext : std::wstring());
  }
  auto find_in = [&](const std::wstring& stem) -> std::optional<std::wstring> {
    for (const std::wstring& ext : extensions) {
      if (auto file = existing_file(stem + ext)) return file;
    }
    return std::nullopt;
  };

  bool has_folder = name.find_first_of(L"\\/") != std::wstring::npos ||
                    (name.size() >= 2 && name[1] == L':');
  if (has_folder) {
    if (auto file = find_in(name)) return *file;
    return not_found();
  }

  std::vector<std::wstring> folders;
  if (auto f = own_folder()) folders.push_back(std::move(*f));
  if (auto f = system_folder()) folders.push_back(std::move(*f));
  if (auto f = windows_folder()) folders.push_back(std::move(*f));
  for (std::wstring& f : path_folders()) folders.push_back(std::move(f));
  for (const std::wstring& folder : folders) {
    if (auto file = find_in(join(folder, name))) return *file;
  }
  return not_found();
}

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

// ---- Environment and the simpler lookups -----------------------------------

// Case-insensitive ordinal comparison, the order Windows keeps its
// environment in.
int compare_names(std::wstring_view a, std::wstring_view b) {
  int r = CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                               static_cast<int>(b.size()), TRUE);
  return r - CSTR_EQUAL;
}

// The name part of an environment entry. Entries such as "=C:=C:\dir" start
// with '=', which then belongs to the name.
std::wstring_view entry_name(std::wstring_view entry) {
  size_t eq = entry.find(L'=', 1);
  return eq == std::wstring_view::npos ? entry : entry.substr(0, eq);
}

// The current environment with `changes` applied, as a sorted block for
// CreateProcessW.
std::wstring environment_block(const EnvChanges& changes) {
  std::vector<std::wstring> entries;
  if (wchar_t* env = GetEnvironmentStringsW()) {
    for (const wchar_t* p = env; *p != L'\0';) {
      std::wstring entry(p);
      p += entry.size() + 1;
      entries.push_back(std::move(entry));
    }
    FreeEnvironmentStringsW(env);
  }
  for (const auto& [name, value] : changes) {
    std::wstring wname = widen(name);
    std::erase_if(entries, [&](const std::wstring& e) {
      return compare_names(entry_name(e), wname) == 0;
    });
    if (value) entries.push_back(wname + L"=" + widen(*value));
  }
  std::stable_sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
    return compare_names(entry_name(a), entry_name(b)) < 0;
  });
  std::wstring block;
  for (const std::wstring& e : entries) {
    block += e;
    block += L'\0';
  }
  // An empty block still needs its two terminators.
  if (entries.empty()) block += L'\0';
  block += L'\0';
  return block;
}

// The file to start: `program` itself, or with ".exe" added when only that
// exists, as a command prompt would find it.
std::wstring program_file(const std::string& program) {
  std::wstring file = widen(program);
  if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::wstring exe = file + L".exe";
    if (GetFileAttributesW(exe.c_str()) != INVALID_FILE_ATTRIBUTES) return exe;
  }
  return file;
}

// A system tool: a name with a folder as given; a bare name only from the
// system folder (never the current folder, as CreateProcessW's own search
// would), else an error that names it.
Result<std::wstring> system_tool_file(const std::string& program) {
  std::wstring name = widen(program);
  if (name.find_first_of(L"\\/:") != std::wstring::npos) return name;
  std::optional<std::wstring> system = system_folder();
  if (!system) return last_error();
  std::wstring candidate = join(*system, name);
  if (!is_regular_file(candidate)) {
    return Error{"not found in the system folder (" + win::narrow(*system) + ")"};
  }
  return candidate;
}

// The file to start and its command line.
struct Command {
  std::wstring application;
  std::wstring line;
};

Result<Command> command_for(const std::string& program, const std::vector<std::string>& args,
                            Lookup lookup) {
  std::vector<std::wstring> wide_args;
  wide_args.reserve(args.size());
  for (const std::string& arg : args) wide_args.push_back(widen(arg));
  Command command;
  switch (lookup) {
    case Lookup::kAsGiven:
      command.application = program_file(program);
      break;
    case Lookup::kSystemTool: {
      TRY_ASSIGN(command.application, system_tool_file(program));
      break;
    }
    case Lookup::kCommand: {
      TRY_ASSIGN(std::wstring file, find_program(program));
      if (win::is_batch_file(file)) {
        // Left to itself CreateProcessW would run the batch file through cmd
        // with the arguments as they are, for cmd to interpret.
        std::optional<std::wstring> system = system_folder();
        if (!system) return last_error();
        command.application = join(*system, L"cmd.exe");
        TRY_ASSIGN(command.line, win::batch_command_line(file, wide_args));
        return command;
      }
      command.application = file;
      break;
    }
  }
  // The child sees the name as it was given, as from a command prompt.
  std::wstring argv0 = widen(program);
  if (argv0.find(L'"') != std::wstring::npos) {
    argv0 = command.application;
  }
  TRY_ASSIGN(command.line, win::program_command_line(argv0, wide_args));
  return command;
}

// ---- Standard handles ---------------------------------------------------------

Result<UniqueHandle> null_device() {
  UniqueHandle nul(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
  if (!nul) return last_error();
  return nul;
}

struct Pipe {
  UniqueHandle read, write;
};

Result<Pipe> make_pipe() {
  HANDLE r = nullptr, w = nullptr;
  if (!CreatePipe(&r, &w, nullptr, 0)) return last_error();
  return Pipe{UniqueHandle(r), UniqueHandle(w)};
}

// The child's three standard handles: `use` goes into STARTUPINFO; `owned`
// holds this process's copies of them, which the child inherits (and which
// are closed once it has started). A missing or invalid standard handle of
// this process is passed on as it is.
struct ChildHandles {
  UniqueHandle owned[3];
  HANDLE use[3] = {nullptr, nullptr, nullptr};

  void own(int i, UniqueHandle handle) {
    use[i] = handle.get();
    owned[i] = std::move(handle);
  }

  // A copy of this process's own standard handle.
  void inherit(int i) {
    const DWORD ids[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE h = GetStdHandle(ids[i]);
    use[i] = h;
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
    HANDLE copy = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS)) {
      own(i, UniqueHandle(copy));
    }
  }

  std::vector<HANDLE> inheritable() const {
    std::vector<HANDLE> out;
    for (const UniqueHandle& h : owned) {
      if (h) out.push_back(h.get());
    }
    return out;
  }
};

// Serialises "mark the child's handles inheritable, start it, close them": a
// child started by another thread meanwhile would otherwise inherit them too
// and hold pipes open.
std::mutex inherit_mutex;

// Reads a pipe to its end.
void drain(HANDLE pipe, std::string& sink) {
  char buf[16384];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(pipe, buf, sizeof buf, &got, nullptr)) return;  // broken: the end
    sink.append(buf, got);
  }
}

}  // namespace

struct Process::Impl {
  std::optional<IgnoreInterrupts> guard;
  UniqueHandle process;
  DWORD pid = 0;
  UniqueHandle in, out, err;
  bool waited = false;
};

Process::Process(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Process::Process(Process&&) noexcept = default;
Process& Process::operator=(Process&&) noexcept = default;
Process::~Process() = default;

Result<Process> Process::start(const std::string& program,
                               const std::vector<std::string>& args,
                               const SpawnOptions& options) {
  TRY_ASSIGN(Command command, command_for(program, args, options.lookup));
  std::wstring block;
  if (!options.env.empty()) block = environment_block(options.env);

  auto impl = std::make_unique<Impl>();
  ChildHandles child;
  if (options.input == Input::kPipe) {
    TRY_ASSIGN(Pipe in, make_pipe());
    child.own(0, std::move(in.read));
    impl->in = std::move(in.write);
  } else if (options.input == Input::kNullDevice) {
    TRY_ASSIGN(UniqueHandle nul, null_device());
    child.own(0, std::move(nul));
  } else {
    child.inherit(0);
  }
  if (options.capture_output) {
    TRY_ASSIGN(Pipe out, make_pipe());
    TRY_ASSIGN(Pipe err, make_pipe());
    child.own(1, std::move(out.write));
    child.own(2, std::move(err.write));
    impl->out = std::move(out.read);
    impl->err = std::move(err.read);
  } else {
    child.inherit(1);
    child.inherit(2);
  }

  DWORD flags = CREATE_UNICODE_ENVIRONMENT;
  if (options.no_window) flags |= CREATE_NO_WINDOW;
  // `run`'s command gets the system's usual error dialogs, as from a shell,
  // not this process's error mode.
  if (options.lookup == Lookup::kCommand) flags |= CREATE_DEFAULT_ERROR_MODE;
  // Interrupts are ignored from here on, so that none is lost between the
  // child starting and the caller waiting for it.
  if (options.ignore_interrupts) impl->guard.emplace();

  PROCESS_INFORMATION pi{};
  {
    std::lock_guard lock(inherit_mutex);
    std::vector<HANDLE> inherited = child.inheritable();
    for (HANDLE h : inherited) {
      if (!SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return last_error();
    }
    HandleList handle_list(inherited);
    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si.StartupInfo;
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    si.StartupInfo.hStdInput = child.use[0];
    si.StartupInfo.hStdOutput = child.use[1];
    si.StartupInfo.hStdError = child.use[2];
    if (handle_list.get() != nullptr) {
      si.StartupInfo.cb = sizeof si;
      si.lpAttributeList = handle_list.get();
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    BOOL started = FALSE;
    DWORD error = ERROR_SUCCESS;
    // A child that dies while the loader is still starting it, before any of
    // its own code has run, comes back as an internal error (seen on a busy
    // machine under wine). Nothing of the command has happened yet, so it is
    // started again, a few times at most.
    for (int attempt = 0;; ++attempt) {
      started = CreateProcessW(
          command.application.c_str(), command.line.data(),
          nullptr, nullptr, TRUE, flags, block.empty() ? nullptr : block.data(), nullptr,
          &si.StartupInfo, &pi);
      error = started ? ERROR_SUCCESS : GetLastError();
      if (started || error != ERROR_INTERNAL_ERROR || attempt == 3) break;
      Sleep(20u << attempt);
    }
    // The child has its copies; ours must go so that pipes can end.
    for (UniqueHandle& h : child.owned) h.reset();
    if (!started) {
      if (options.lookup == Lookup::kCommand &&
          (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
        return not_found();
      }
      return Error{os_error_text(static_cast<int>(error), win::narrow(command.application))};
    }
  }
  UniqueHandle(pi.hThread).reset();
  impl->process.reset(pi.hProcess);
  impl->pid = pi.dwProcessId;
  return Process(std::move(impl));
}

uint32_t Process::pid() const { return impl_ ? static_cast<uint32_t>(impl_->pid) : 0; }

Result<ProcessOutput> Process::communicate(std::string_view input) {
  if (!impl_) return Error{os_error_text(ERROR_INVALID_HANDLE)};
  Impl& p = *impl_;
  ProcessOutput output;
  {
    // Both outputs are read at once: a child blocked writing one of them
    // while we wait on the other would never finish.
    std::thread out_reader, err_reader;
    try {
      if (p.out) out_reader = std::thread(drain, p.out.get(), std::ref(output.out));
      if (p.err) err_reader = std::thread(drain, p.err.get(), std::ref(output.err));
    } catch (const std::system_error&) {
      // No thread: end the child so the reader that did start finishes.
      TerminateProcess(p.process.get(), 1);
      p.in.reset();
      if (out_reader.joinable()) out_reader.join();
      return Error{"couldn't start a thread to read the child's output"};
    }

    while (p.in && !input.empty()) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(input.size(), 1u << 20));
      DWORD put = 0;
      // A child that exits without reading everything breaks the pipe.
      if (!::WriteFile(p.in.get(), input.data(), chunk, &put, nullptr)) break;
      input.remove_prefix(put);
    }
    p.in.reset();

    if (out_reader.joinable()) out_reader.join();
    if (err_reader.joinable()) err_reader.join();
  }
  p.out.reset();
  p.err.reset();
  return output;
}

Result<ProcessExit> Process::wait() {
  if (!impl_ || !impl_->process) return Error{os_error_text(ERROR_INVALID_HANDLE)};
  Impl& p = *impl_;
  if (WaitForSingleObject(p.process.get(), INFINITE) != WAIT_OBJECT_0) {
    Error error = last_error();
    p.guard.reset();
    return error;
  }
  DWORD code = 0;
  BOOL read = GetExitCodeProcess(p.process.get(), &code);
  Error error = read ? Error{} : last_error();
  p.guard.reset();
  if (!read) return error;
  p.waited = true;
  ProcessExit exit;
  exit.code = int64_t{static_cast<int32_t>(code)};
  return exit;
}

void Process::end() {
  if (!impl_ || impl_->waited || !impl_->process) return;
  TerminateProcess(impl_->process.get(), 1);
  WaitForSingleObject(impl_->process.get(), 5000);
  impl_->guard.reset();
}

}  // namespace vesk::platform
