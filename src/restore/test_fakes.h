// Recording fakes of the power settings and of process access, for the
// tests of the restore engine. Every call is recorded; any call can be made
// to fail.
#pragma once

#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/power.h"
#include "platform/process_control.h"
#include "restore/power_settings.h"

namespace vesk::restore::testing {

// Plans by a short name, for readable tables: plan(1) is
// "00000001-0000-0000-0000-000000000000" and so on.
inline std::string plan_text(int n) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08x-0000-0000-0000-000000000000", static_cast<unsigned>(n));
  return buf;
}
inline Guid plan(int n) { return *parse_plan_guid(plan_text(n)); }

struct PowerCall {
  std::string op;  // get_active set_active read write get_overlay set_overlay
  Guid plan;
  Guid setting;
  platform::PowerSource source = platform::PowerSource::ac;
  uint32_t value = 0;
};

class FakePower final : public platform::PowerApi {
 public:
  using Key = std::tuple<std::array<uint8_t, 16>, std::array<uint8_t, 16>, int>;

  // Settings that read; a setting never set fails to read (status 2).
  void set(const Guid& plan, const Guid& setting, platform::PowerSource source, uint32_t value) {
    values_[key(plan, setting, source)] = value;
  }
  std::optional<uint32_t> get(const Guid& plan, const Guid& setting,
                              platform::PowerSource source) const {
    auto it = values_.find(key(plan, setting, source));
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }
  void set_lid(const Guid& p, uint32_t ac, uint32_t dc) {
    set(p, kLidCloseAction, platform::PowerSource::ac, ac);
    set(p, kLidCloseAction, platform::PowerSource::dc, dc);
  }
  void set_sleep(const Guid& p, std::array<uint32_t, 4> v) {
    set(p, kStandbyTimeout, platform::PowerSource::ac, v[0]);
    set(p, kStandbyTimeout, platform::PowerSource::dc, v[1]);
    set(p, kUnattendSleepTimeout, platform::PowerSource::ac, v[2]);
    set(p, kUnattendSleepTimeout, platform::PowerSource::dc, v[3]);
  }

  std::optional<Guid> active;
  bool overlay_available = true;
  Guid overlay = kBestEfficiencyOverlay;
  // Decides, for each call, whether it fails.
  std::function<bool(const PowerCall&)> fails = [](const PowerCall&) { return false; };
  // Runs at the start of every call (to block or observe).
  std::function<void(const PowerCall&)> on_call;

  std::vector<PowerCall> calls;
  size_t count(const std::string& op) const {
    size_t n = 0;
    for (const PowerCall& c : calls) n += c.op == op;
    return n;
  }
  std::vector<PowerCall> writes() const {
    std::vector<PowerCall> out;
    for (const PowerCall& c : calls) {
      if (c.op == "write") out.push_back(c);
    }
    return out;
  }

  std::optional<Guid> get_active_scheme() override {
    if (record("get_active")) return std::nullopt;
    return active;
  }
  // Recorded only: the real call's result is never looked at either.
  void set_active_scheme(const Guid& p) override { (void)record("set_active", p); }
  uint32_t read_value(platform::PowerSource source, const Guid& p, const Guid&,
                      const Guid& setting, uint32_t& value) override {
    value = 0;
    if (record("read", p, setting, source)) return 5;
    auto v = get(p, setting, source);
    if (!v) return 2;
    value = *v;
    return 0;
  }
  Status write_value(platform::PowerSource source, const Guid& p, const Guid&,
                     const Guid& setting, uint32_t value) override {
    if (record("write", p, setting, source, value)) return Error{"Access is denied. (os error 5)"};
    set(p, setting, source, value);
    return {};
  }
  std::optional<uint32_t> get_actual_overlay(Guid& out) override {
    out = Guid{};
    if (!overlay_available) return std::nullopt;
    if (record("get_overlay")) return 5;
    out = overlay;
    return 0;
  }
  std::optional<uint32_t> set_active_overlay(const Guid& g) override {
    if (!overlay_available) return std::nullopt;
    if (record("set_overlay", g)) return 5;
    overlay = g;
    return 0;
  }

 private:
  static std::array<uint8_t, 16> bytes(const Guid& g) {
    std::array<uint8_t, 16> b{};
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(g.data1 >> (24 - 8 * i));
    b[4] = static_cast<uint8_t>(g.data2 >> 8);
    b[5] = static_cast<uint8_t>(g.data2);
    b[6] = static_cast<uint8_t>(g.data3 >> 8);
    b[7] = static_cast<uint8_t>(g.data3);
    for (int i = 0; i < 8; ++i) b[8 + i] = g.data4[i];
    return b;
  }
  static Key key(const Guid& p, const Guid& setting, platform::PowerSource source) {
    return {bytes(p), bytes(setting), static_cast<int>(source)};
  }
  // Records the call; true when it is to fail.
  bool record(std::string op, const Guid& p = {}, const Guid& setting = {},
              platform::PowerSource source = platform::PowerSource::ac, uint32_t value = 0) {
    PowerCall call{std::move(op), p, setting, source, value};
    if (on_call) on_call(call);
    calls.push_back(call);
    return fails(call);
  }

  std::map<Key, uint32_t> values_;
};

// A process as the fake system knows it.
struct FakeProcess {
  uint64_t start = 0;
  std::optional<std::string> path;  // nullopt: the name cannot be read
  bool suspended = false;
  uint32_t priority = platform::kNormalPriorityClass;
  bool resume_fails = false;
  bool priority_fails = false;
  bool ends_when_touched = false;  // gone right after a resume or priority call
};

class FakeProcesses final : public platform::ProcessControl {
 public:
  std::map<uint32_t, FakeProcess> processes;
  uint32_t own = 777;
  std::vector<std::string> calls;  // "resume 42", "priority 42 32"

  uint32_t own_pid() override { return own; }
  std::optional<uint64_t> start_time(uint32_t pid) override {
    auto it = processes.find(pid);
    if (it == processes.end()) return std::nullopt;
    return it->second.start;
  }
  std::optional<std::string> image_path(uint32_t pid) override {
    auto it = processes.find(pid);
    if (it == processes.end()) return std::nullopt;
    return it->second.path;
  }
  Status resume(uint32_t pid, uint64_t start) override {
    calls.push_back("resume " + std::to_string(pid));
    auto it = processes.find(pid);
    if (it == processes.end() || it->second.start != start) return Error{"not that process"};
    bool ok = !it->second.resume_fails;
    if (ok) it->second.suspended = false;
    if (it->second.ends_when_touched) processes.erase(it);
    if (!ok) return Error{"Access is denied. (os error 5)"};
    return {};
  }
  Status restore_priority(uint32_t pid, uint64_t start, uint32_t priority_class) override {
    calls.push_back("priority " + std::to_string(pid) + " " + std::to_string(priority_class));
    auto it = processes.find(pid);
    if (it == processes.end() || it->second.start != start) return Error{"not that process"};
    bool ok = !it->second.priority_fails;
    if (ok) it->second.priority = priority_class;
    if (it->second.ends_when_touched) processes.erase(it);
    if (!ok) return Error{"Access is denied. (os error 5)"};
    return {};
  }
};

}  // namespace vesk::restore::testing
