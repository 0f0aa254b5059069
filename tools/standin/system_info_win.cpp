#include "platform/win_handle.h"

#include <tlhelp32.h>

#include "standin/system_info.h"

namespace vesk::standin {

using platform::win::UniqueHandle;

namespace {

uint64_t filetime_value(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

}  // namespace

std::optional<BatteryStatus> battery_status() {
  SYSTEM_POWER_STATUS power{};
  if (!GetSystemPowerStatus(&power)) return std::nullopt;
  constexpr BYTE kNoBattery = 128;
  constexpr BYTE kUnknown = 255;
  if ((power.BatteryFlag & kNoBattery) != 0 && power.BatteryFlag != kUnknown) return std::nullopt;
  if (power.BatteryLifePercent == kUnknown) return std::nullopt;
  BatteryStatus status;
  status.percent = power.BatteryLifePercent > 100 ? 100.0 : power.BatteryLifePercent;
  status.on_power = power.ACLineStatus == 1;
  return status;
}

std::vector<ProcessCpu> process_cpu_times() {
  std::vector<ProcessCpu> out;
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return out;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == 0) continue;  // the idle process: time nobody used
    UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (!process) continue;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) continue;
    ProcessCpu p;
    p.pid = entry.th32ProcessID;
    p.name = platform::win::narrow(entry.szExeFile);
    p.cpu_time = filetime_value(kernel) + filetime_value(user);
    out.push_back(std::move(p));
  }
  return out;
}

}  // namespace vesk::standin
