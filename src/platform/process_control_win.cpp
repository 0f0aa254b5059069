#include "platform/process_control.h"

#include <cstdio>
#include <string>

#include "platform/error.h"
#include "platform/process.h"
#include "platform/win_handle.h"

namespace vesk::platform {
namespace {

using win::UniqueHandle;

using NtResumeProcessFn = LONG(NTAPI*)(HANDLE);

NtResumeProcessFn nt_resume_process() {
  static const NtResumeProcessFn fn = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return NtResumeProcessFn{nullptr};
    return reinterpret_cast<NtResumeProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtResumeProcess")));
  }();
  return fn;
}

Error not_the_process(uint32_t pid) {
  return Error{"process " + std::to_string(pid) + " has ended or is another process now"};
}

// The process opened with `access` (which must include
// PROCESS_QUERY_LIMITED_INFORMATION), when its creation time is `start`.
Result<UniqueHandle> open_same_process(uint32_t pid, DWORD access, uint64_t start) {
  UniqueHandle process(OpenProcess(access, FALSE, pid));
  if (!process) return last_error();
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return last_error();
  uint64_t value = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  if (value != start) return not_the_process(pid);
  return process;
}

class WindowsProcesses final : public ProcessControl {
 public:
  uint32_t own_pid() override { return current_pid(); }

  std::optional<uint64_t> start_time(uint32_t pid) override { return process_start_time(pid); }

  std::optional<std::string> image_path(uint32_t pid) override {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return std::nullopt;
    wchar_t buf[1024];
    DWORD size = 1024;
    if (!QueryFullProcessImageNameW(process.get(), 0, buf, &size)) return std::nullopt;
    return win::narrow(std::wstring_view(buf, size));
  }

  Status resume(uint32_t pid, uint64_t start) override {
    NtResumeProcessFn resume_fn = nt_resume_process();
    if (resume_fn == nullptr) return Error{os_error_text(ERROR_PROC_NOT_FOUND)};
    TRY_ASSIGN(UniqueHandle process,
               open_same_process(pid, PROCESS_SUSPEND_RESUME | PROCESS_QUERY_LIMITED_INFORMATION,
                                 start));
    LONG status = resume_fn(process.get());
    if (status < 0) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
      return Error{"process " + std::to_string(pid) + " couldn't be resumed (NTSTATUS " + code +
                   ")"};
    }
    return {};
  }

  Status restore_priority(uint32_t pid, uint64_t start, uint32_t priority_class) override {
    TRY_ASSIGN(UniqueHandle process,
               open_same_process(pid, PROCESS_SET_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION,
                                 start));
    Status done;
    if (!SetPriorityClass(process.get(), priority_class)) done = last_error();
    // Masks of 0 hand the throttling decision back to Windows.
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = 0;
    state.StateMask = 0;
    // Whether that takes doesn't count: the priority is what was recorded.
    (void)SetProcessInformation(process.get(), ProcessPowerThrottling, &state, sizeof state);
    return done;
  }
};

}  // namespace

ProcessControl& system_processes() {
  static WindowsProcesses processes;
  return processes;
}

}  // namespace vesk::platform
