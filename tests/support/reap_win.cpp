#include <windows.h>

#include <psapi.h>

#include "platform/win_handle.h"
#include "support/reap.h"

namespace vesk::platform {

Result<Reaped> reap(Process& process) {
  TRY_ASSIGN(ProcessExit exit, process.wait());
  Reaped reaped;
  reaped.code = exit.code;
  // `process` still holds its handle, so the id is still this child's and
  // its counters are still there.
  win::UniqueHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE,
                                       process.pid()));
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (handle && GetProcessMemoryInfo(handle.get(), &counters, sizeof counters)) {
    reaped.peak_memory_kib = static_cast<uint64_t>(counters.PeakWorkingSetSize) / 1024;
  }
  return reaped;
}

}  // namespace vesk::platform
