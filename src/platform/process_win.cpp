#include "platform/process.h"
#include "platform/win_handle.h"

namespace vesk::platform {

using win::UniqueHandle;

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

ProcessPresence process_presence(uint32_t pid, uint64_t creation_time) {
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) {
    // No process has that id; anything else (access denied) says nothing.
    return GetLastError() == ERROR_INVALID_PARAMETER ? ProcessPresence::kGone
                                                     : ProcessPresence::kUnknown;
  }
  DWORD exit_code = 0;
  if (!GetExitCodeProcess(process.get(), &exit_code)) return ProcessPresence::kUnknown;
  if (exit_code != STILL_ACTIVE) return ProcessPresence::kGone;
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) {
    return ProcessPresence::kUnknown;
  }
  uint64_t time = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  return time == creation_time ? ProcessPresence::kRunning : ProcessPresence::kGone;
}

}  // namespace vesk::platform
