// Undoing what was done to another process: resuming it, giving back its
// priority. Behind an interface so that the code deciding what to undo can
// be tested with a recording fake.
//
// Every call that changes a process first checks, on the process itself,
// that it still has the creation time it was recorded with, so that a
// process id taken over by another process is never touched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/result.h"

namespace vesk::platform {

// Windows priority classes.
inline constexpr uint32_t kIdlePriorityClass = 0x40;
inline constexpr uint32_t kBelowNormalPriorityClass = 0x4000;
inline constexpr uint32_t kNormalPriorityClass = 0x20;
inline constexpr uint32_t kAboveNormalPriorityClass = 0x8000;
inline constexpr uint32_t kHighPriorityClass = 0x80;
inline constexpr uint32_t kRealtimePriorityClass = 0x100;

// The nice value that stands for a priority class on POSIX systems;
// nullopt for a value that is no priority class.
inline std::optional<int> nice_for_priority_class(uint32_t priority_class) {
  switch (priority_class) {
    case kIdlePriorityClass: return 19;
    case kBelowNormalPriorityClass: return 10;
    case kNormalPriorityClass: return 0;
    case kAboveNormalPriorityClass: return -5;
    case kHighPriorityClass: return -10;
    case kRealtimePriorityClass: return -20;
    default: return std::nullopt;
  }
}

class ProcessControl {
 public:
  virtual ~ProcessControl() = default;

  // This process's id.
  virtual uint32_t own_pid() = 0;

  // process_start_time (process.h): the creation time when running.
  virtual std::optional<uint64_t> start_time(uint32_t pid) = 0;

  // The full path of the process's program, as UTF-8; nullopt when the
  // process cannot be opened or asked. Windows: OpenProcess with
  // PROCESS_QUERY_LIMITED_INFORMATION, QueryFullProcessImageNameW (Win32
  // form, 1024 units). Linux: the target of /proc/<pid>/exe (without the
  // " (deleted)" the kernel adds once the file is replaced).
  virtual std::optional<std::string> image_path(uint32_t pid) = 0;

  // Resumes a suspended process that still has creation time `start`.
  // Windows: OpenProcess with PROCESS_SUSPEND_RESUME and
  // PROCESS_QUERY_LIMITED_INFORMATION, GetProcessTimes, NtResumeProcess
  // (an NTSTATUS of 0 or more is success). Linux: SIGCONT, sent through a
  // pidfd when the kernel has them. Fails with the system's reason, or
  // that the process has ended or is another one now.
  virtual Status resume(uint32_t pid, uint64_t start) = 0;

  // Sets the priority class of a process that still has creation time
  // `start`, and hands its power throttling back to the system (whose
  // result does not count). Succeeds when the priority was set; fails as
  // resume does.
  // Windows: OpenProcess with PROCESS_SET_INFORMATION and
  // PROCESS_QUERY_LIMITED_INFORMATION, GetProcessTimes, SetPriorityClass,
  // SetProcessInformation(ProcessPowerThrottling, version 1, masks 0).
  // Linux: the class's nice value (nice_for_priority_class) for every
  // thread of the process; there is no power throttling.
  virtual Status restore_priority(uint32_t pid, uint64_t start, uint32_t priority_class) = 0;
};

ProcessControl& system_processes();

}  // namespace vesk::platform
