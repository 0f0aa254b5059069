#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <string_view>

#include "base/text.h"
#include "platform/fs.h"
#include "standin/system_info.h"

namespace vesk::standin {

using platform::file_name;
using platform::join_path;
using platform::list_dir;
using platform::read_file;

namespace {

constexpr char kPowerSupplies[] = "/sys/class/power_supply";

std::optional<int64_t> parse_i64(std::string_view text) {
  int64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<uint64_t> parse_u64(std::string_view text) {
  uint64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

// One attribute file of a supply, trimmed; empty when it cannot be read.
std::string attribute(const std::string& supply, std::string_view name) {
  auto text = read_file(join_path(supply, name));
  if (!text) return {};
  return std::string(trim(*text));
}

std::optional<int64_t> number_attribute(const std::string& supply, std::string_view name) {
  return parse_i64(attribute(supply, name));
}

}  // namespace

std::optional<BatteryStatus> battery_status() {
  auto names = list_dir(kPowerSupplies);
  if (!names) return std::nullopt;

  int batteries = 0;
  double capacity_sum = 0;
  // Energy in microwatt-hours, when every battery reports it: a better
  // combined percentage than the average of the capacities.
  double energy_now = 0, energy_full = 0;
  bool energy_known = true;
  double watts = 0;
  bool watts_known = false;
  bool discharging = false;
  bool any_charger = false, charger_online = false;

  for (const std::string& name : *names) {
    std::string supply = join_path(kPowerSupplies, name);
    std::string type = attribute(supply, "type");
    if (type == "Mains" || type == "USB") {
      any_charger = true;
      if (number_attribute(supply, "online").value_or(0) == 1) charger_online = true;
      continue;
    }
    if (type != "Battery") continue;
    if (attribute(supply, "scope") == "Device") continue;  // a mouse or a headset
    if (attribute(supply, "present") == "0") continue;
    auto capacity = number_attribute(supply, "capacity");
    auto now = number_attribute(supply, "energy_now");
    auto full = number_attribute(supply, "energy_full");
    if (!capacity && !(now && full && *full > 0)) continue;
    ++batteries;
    if (now && full && *full > 0) {
      energy_now += static_cast<double>(*now);
      energy_full += static_cast<double>(*full);
      capacity_sum += capacity ? static_cast<double>(*capacity)
                               : 100.0 * static_cast<double>(*now) / static_cast<double>(*full);
    } else {
      energy_known = false;
      capacity_sum += static_cast<double>(*capacity);
    }
    if (attribute(supply, "status") == "Discharging") discharging = true;
    // Some drivers report negative values while discharging.
    if (auto power = number_attribute(supply, "power_now")) {
      watts += static_cast<double>(std::llabs(*power)) / 1e6;
      watts_known = true;
    } else if (auto current = number_attribute(supply, "current_now")) {
      if (auto voltage = number_attribute(supply, "voltage_now")) {
        watts += static_cast<double>(std::llabs(*current)) / 1e6 *
                 static_cast<double>(std::llabs(*voltage)) / 1e6;
        watts_known = true;
      }
    }
  }
  if (batteries == 0) return std::nullopt;

  BatteryStatus status;
  status.percent = energy_known && energy_full > 0 ? 100.0 * energy_now / energy_full
                                                   : capacity_sum / batteries;
  if (status.percent < 0) status.percent = 0;
  if (status.percent > 100) status.percent = 100;
  status.on_power = any_charger ? charger_online : !discharging;
  if (watts_known) status.watts = watts;
  return status;
}

std::vector<ProcessCpu> process_cpu_times() {
  std::vector<ProcessCpu> out;
  auto names = list_dir("/proc");
  if (!names) return out;
  long ticks_per_second = ::sysconf(_SC_CLK_TCK);
  if (ticks_per_second <= 0) return out;
  for (const std::string& entry : *names) {
    auto pid = parse_u64(entry);
    if (!pid || *pid == 0 || *pid > UINT32_MAX) continue;
    std::string dir = join_path("/proc", entry);
    auto text = read_file(join_path(dir, "stat"));
    if (!text) continue;  // ended meanwhile
    // "pid (comm) state ..." where comm may hold spaces and parentheses.
    size_t open = text->find('(');
    size_t close = text->rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    std::string name = text->substr(open + 1, close - open - 1);
    std::string_view rest = std::string_view(*text).substr(close + 1);
    // Fields from 3 (state) on: ppid is field 4, utime field 14, stime field 15.
    std::string_view fields[13];
    for (auto& field : fields) {
      while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
      size_t end = rest.find(' ');
      field = rest.substr(0, end);
      rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
    }
    // Kernel threads (kthreadd, pid 2, and its children) are not programs.
    if (*pid == 2 || fields[1] == "2") continue;
    auto utime = parse_u64(fields[11]);
    auto stime = parse_u64(fields[12]);
    if (!utime || !stime) continue;
    if (name.size() == 15) {
      // The kernel cuts comm to 15 bytes; the program file's name is whole.
      if (auto cmdline = read_file(join_path(dir, "cmdline")); cmdline && !cmdline->empty()) {
        std::string argv0 = cmdline->substr(0, cmdline->find('\0'));
        std::string base(file_name(argv0));
        if (base.size() > name.size() && base.compare(0, name.size(), name) == 0) name = base;
      }
    }
    ProcessCpu p;
    p.pid = static_cast<uint32_t>(*pid);
    p.name = std::move(name);
    p.cpu_time = (*utime + *stime) * 10000000ULL / static_cast<uint64_t>(ticks_per_second);
    out.push_back(std::move(p));
  }
  return out;
}

}  // namespace vesk::standin
