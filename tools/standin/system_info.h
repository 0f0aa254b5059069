// What the machine reports about its power and its processes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk::standin {

struct BatteryStatus {
  double percent = 0;     // charge left, 0 to 100
  bool on_power = false;  // a charger (mains or USB) is connected
  // The rate at which the battery charges or discharges, in watts, when the
  // system reports it. On battery this is what the whole machine draws.
  std::optional<double> watts;
};

// The battery; nullopt when the machine has none or does not say.
//
// Linux: the supplies in /sys/class/power_supply. A supply of type "Battery"
// (not scoped to a device such as a mouse) gives `capacity` and `status`, and
// `power_now` (microwatts) or `current_now` times `voltage_now` (microamperes,
// microvolts); several batteries are combined. A supply of type "Mains" or
// "USB" with `online` 1 means on power; with none of those, a battery that is
// not discharging means on power.
//
// Windows: GetSystemPowerStatus. BatteryFlag 128 (no system battery), 255
// (unknown) together with an unknown percentage, or a BatteryLifePercent of
// 255 mean no battery; ACLineStatus 1 means on power. It gives no watts.
std::optional<BatteryStatus> battery_status();

struct ProcessCpu {
  uint32_t pid = 0;
  std::string name;       // "firefox" (Linux), "firefox.exe" (Windows)
  uint64_t cpu_time = 0;  // user plus kernel time, 100-nanosecond units
};

// Every process whose times can be read, in no particular order. Processes
// that end while the list is made, or that may not be inspected, are left out.
//
// Linux: /proc/<pid>/stat, `comm` as the name (the program file's name from
// `cmdline` when comm was cut to 15 bytes), utime + stime converted from clock
// ticks; kernel threads are left out. Windows: a CreateToolhelp32Snapshot
// walk, the executable's file name, and GetProcessTimes on
// OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION); the idle process (pid 0) is
// left out.
std::vector<ProcessCpu> process_cpu_times();

}  // namespace vesk::standin
