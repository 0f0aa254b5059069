#include <mutex>
#include <system_error>
#include <thread>

#include "platform/error.h"
#include "platform/system_tool.h"
#include "platform/win_cmdline.h"
#include "platform/win_handle.h"

namespace vesk::platform {

using win::UniqueHandle;
using win::widen;

namespace {

// The file to start for a bare name: the system folder's copy when there is
// one; otherwise CreateProcessW's own search (given no application name).
std::wstring system_copy(const std::wstring& name) {
  if (name.find_first_of(L"\\/:") != std::wstring::npos) return {};
  wchar_t dir[MAX_PATH + 1];
  UINT n = GetSystemDirectoryW(dir, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return {};
  std::wstring candidate(dir, n);
  if (candidate.back() != L'\\') candidate += L'\\';
  candidate += name;
  DWORD attrs = GetFileAttributesW(candidate.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) return {};
  return candidate;
}

// Reads a pipe to its end.
void drain(HANDLE pipe, std::string& sink) {
  char buf[16384];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(pipe, buf, sizeof buf, &got, nullptr)) return;  // broken: the end
    sink.append(buf, got);
  }
}

// Marking our pipe ends inheritable and starting the child happen together,
// so that no other child started meanwhile inherits them.
std::mutex tool_spawn_mutex;

}  // namespace

Result<ToolOutput> run_hidden_tool(const std::string& program,
                                   const std::vector<std::string>& args) {
  std::wstring wprogram = widen(program);
  std::vector<std::wstring> wargs;
  for (const std::string& a : args) wargs.push_back(widen(a));
  TRY_ASSIGN(std::wstring line, win::program_command_line(wprogram, wargs));
  std::wstring application = system_copy(wprogram);

  HANDLE r = nullptr, w = nullptr;
  if (!CreatePipe(&r, &w, nullptr, 0)) return last_error();
  UniqueHandle out_r(r), out_w(w);
  if (!CreatePipe(&r, &w, nullptr, 0)) return last_error();
  UniqueHandle err_r(r), err_w(w);
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  UniqueHandle null_in(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_EXISTING, 0, nullptr));
  if (!null_in) return last_error();

  PROCESS_INFORMATION pi{};
  {
    std::lock_guard lock(tool_spawn_mutex);
    HANDLE child_ends[3] = {null_in.get(), out_w.get(), err_w.get()};
    for (HANDLE h : child_ends) {
      if (!SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return last_error();
    }
    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si.StartupInfo;
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    si.StartupInfo.hStdInput = child_ends[0];
    si.StartupInfo.hStdOutput = child_ends[1];
    si.StartupInfo.hStdError = child_ends[2];
    DWORD flags = CREATE_NO_WINDOW;

    // Only these three handles go to the tool.
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
    BOOL started = CreateProcessW(application.empty() ? nullptr : application.c_str(),
                                  line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                  &si.StartupInfo, &pi);
    DWORD error = started ? ERROR_SUCCESS : GetLastError();
    if (si.lpAttributeList != nullptr) DeleteProcThreadAttributeList(si.lpAttributeList);
    // The tool has its copies; ours must go so that the pipes can end.
    null_in.reset();
    out_w.reset();
    err_w.reset();
    if (!started) return Error{os_error_text(static_cast<int>(error))};
  }
  UniqueHandle process(pi.hProcess);
  UniqueHandle(pi.hThread).reset();

  ToolOutput result;
  {
    // Both outputs are read at once: a tool blocked writing one of them
    // while we wait on the other would never finish.
    std::thread err_reader;
    try {
      err_reader = std::thread(drain, err_r.get(), std::ref(result.err));
    } catch (const std::system_error&) {
      TerminateProcess(process.get(), 1);
      WaitForSingleObject(process.get(), INFINITE);
      return Error{"couldn't start a thread to read the tool's output"};
    }
    drain(out_r.get(), result.out);
    err_reader.join();
  }
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return last_error();
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) return last_error();
  result.exit_code = static_cast<int>(code);
  return result;
}

}  // namespace vesk::platform
