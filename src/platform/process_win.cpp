#include <algorithm>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/error.h"
#include "platform/process.h"
#include "platform/win_cmdline.h"
#include "platform/win_handle.h"

#include <psapi.h>

namespace vesk::platform {

using win::UniqueHandle;
using win::widen;

uint32_t current_pid() { return static_cast<uint32_t>(GetCurrentProcessId()); }

std::optional<uint64_t> process_start_time(uint32_t pid) {
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return std::nullopt;
  DWORD exit_code = 0;
  if (!GetExitCodeProcess(process.get(), &exit_code) || exit_code != STILL_ACTIVE) {
    return std::nullopt;
  }
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return std::nullopt;
  return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// ---- Children with captured output -------------------------------------

namespace {


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

// Serialises "mark the child's pipe ends inheritable, start it, close them":
// a child started by another thread meanwhile would otherwise inherit them
// too and hold the pipes open.
std::mutex spawn_mutex;

struct Pipe {
  UniqueHandle read, write;
};

Result<Pipe> make_pipe() {
  HANDLE r = nullptr, w = nullptr;
  if (!CreatePipe(&r, &w, nullptr, 0)) return last_error();
  return Pipe{UniqueHandle(r), UniqueHandle(w)};
}

// Reads a pipe to its end.
void drain(HANDLE pipe, std::string& sink) {
  char buf[8192];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(pipe, buf, sizeof buf, &got, nullptr)) return;  // broken: the end
    if (got == 0) continue;  // a zero-length write on the other side
    sink.append(buf, got);
  }
}

}  // namespace

struct Child::Impl {
  UniqueHandle process;
  DWORD pid = 0;
  UniqueHandle in, out, err;
  std::string input;
  bool waited = false;
};

Result<Child> Child::start(const std::string& program,
                           const std::vector<std::string>& args,
                           const EnvChanges& env, const std::string& input) {
  TRY_ASSIGN(Pipe in_pipe, make_pipe());
  TRY_ASSIGN(Pipe out_pipe, make_pipe());
  TRY_ASSIGN(Pipe err_pipe, make_pipe());

  std::wstring application = program_file(program);
  std::wstring line;
  // The program name is parsed by its own rule (no escapes): plain quotes.
  line += L'"';
  line += widen(program);
  line += L'"';
  for (const std::string& arg : args) {
    line += L' ';
    win::append_argument(line, widen(arg));
  }
  std::wstring block;
  if (!env.empty()) block = environment_block(env);

  HANDLE child_ends[3] = {in_pipe.read.get(), out_pipe.write.get(), err_pipe.write.get()};
  PROCESS_INFORMATION pi{};
  {
    std::lock_guard lock(spawn_mutex);
    for (HANDLE h : child_ends) {
      if (!SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return last_error();
    }

    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    si.StartupInfo.hStdInput = child_ends[0];
    si.StartupInfo.hStdOutput = child_ends[1];
    si.StartupInfo.hStdError = child_ends[2];
    DWORD flags = CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW;

    // Also limit what the child inherits to its three pipe ends, against
    // other code in this process that starts children with inheritance on.
    std::vector<char> attr_storage;
    SIZE_T attr_size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attr_size);
    if (attr_size > 0) {
      attr_storage.resize(attr_size);
      auto* attrs = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attr_storage.data());
      if (InitializeProcThreadAttributeList(attrs, 1, 0, &attr_size)) {
        if (UpdateProcThreadAttribute(attrs, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, child_ends,
                                      sizeof child_ends, nullptr, nullptr)) {
          si.StartupInfo.cb = sizeof si;
          si.lpAttributeList = attrs;
          flags |= EXTENDED_STARTUPINFO_PRESENT;
        } else {
          DeleteProcThreadAttributeList(attrs);
        }
      }
    }
    if (si.lpAttributeList == nullptr) si.StartupInfo.cb = sizeof si.StartupInfo;

    BOOL started = CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, flags,
                                  block.empty() ? nullptr : block.data(), nullptr,
                                  &si.StartupInfo, &pi);
    DWORD error = started ? ERROR_SUCCESS : GetLastError();
    if (si.lpAttributeList != nullptr) DeleteProcThreadAttributeList(si.lpAttributeList);
    // The child has its copies; ours must go so that the pipes can end.
    in_pipe.read.reset();
    out_pipe.write.reset();
    err_pipe.write.reset();
    if (!started) return Error{os_error_text(static_cast<int>(error))};
  }
  UniqueHandle process(pi.hProcess);
  UniqueHandle(pi.hThread).reset();

  auto* impl = new Impl;
  impl->process = std::move(process);
  impl->pid = pi.dwProcessId;
  impl->in = std::move(in_pipe.write);
  impl->out = std::move(out_pipe.read);
  impl->err = std::move(err_pipe.read);
  impl->input = input;
  return Child(impl);
}

Child::Child(Child&& o) noexcept : impl_(o.impl_) { o.impl_ = nullptr; }
Child& Child::operator=(Child&& o) noexcept {
  if (this != &o) {
    this->~Child();
    impl_ = o.impl_;
    o.impl_ = nullptr;
  }
  return *this;
}

Child::~Child() {
  if (impl_ == nullptr) return;
  if (!impl_->waited && impl_->process) {
    TerminateProcess(impl_->process.get(), 1);
    WaitForSingleObject(impl_->process.get(), 5000);
  }
  delete impl_;
  impl_ = nullptr;
}

uint32_t Child::pid() const { return static_cast<uint32_t>(impl_->pid); }

Result<CapturedRun> Child::wait() {
  if (impl_->waited) return Error{os_error_text(ERROR_INVALID_HANDLE)};
  CapturedRun run;
  {
    // Both outputs are read at once: a child blocked writing one of them
    // while we wait on the other would never finish.
    std::thread out_reader, err_reader;
    try {
      out_reader = std::thread(drain, impl_->out.get(), std::ref(run.out));
      err_reader = std::thread(drain, impl_->err.get(), std::ref(run.err));
    } catch (const std::system_error&) {
      // No thread: end the child so the reader that did start finishes.
      TerminateProcess(impl_->process.get(), 1);
      impl_->in.reset();
      if (out_reader.joinable()) out_reader.join();
      return Error{"couldn't start a thread to read the child's output"};
    }

    std::string_view input = impl_->input;
    while (!input.empty()) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(input.size(), 1u << 20));
      DWORD put = 0;
      // A child that exits without reading everything breaks the pipe.
      if (!::WriteFile(impl_->in.get(), input.data(), chunk, &put, nullptr)) break;
      input.remove_prefix(put);
    }
    impl_->in.reset();

    out_reader.join();
    err_reader.join();
  }
  impl_->out.reset();
  impl_->err.reset();

  if (WaitForSingleObject(impl_->process.get(), INFINITE) != WAIT_OBJECT_0) return last_error();
  DWORD code = 0;
  if (!GetExitCodeProcess(impl_->process.get(), &code)) return last_error();
  impl_->waited = true;
  run.exit_code = static_cast<int>(code);
  // The counters outlive the process as long as its handle is open.
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(impl_->process.get(), &counters, sizeof counters)) {
    run.peak_memory_kib = static_cast<uint64_t>(counters.PeakWorkingSetSize) / 1024;
  }
  return run;
}

Result<CapturedRun> run_captured(const std::string& program,
                                 const std::vector<std::string>& args,
                                 const EnvChanges& env, const std::string& input) {
  TRY_ASSIGN(Child child, Child::start(program, args, env, input));
  return child.wait();
}

}  // namespace vesk::platform
