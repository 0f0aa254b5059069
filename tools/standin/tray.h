// The stand-in's tray state and its answers to requests, apart from the file
// exchange: mode, holds, settings (kept in a settings file), app rules, the
// watch list and a scheduled wake, plus what the machine reports about its
// battery and its busiest processes.
//
// Every answer is a JSON object with "ok" and a one-line "status"; a refusal
// also carries "error", and changes nothing.
//
// The Tray's code is in three files: tray.cpp (its state and the requests
// that change mode, holds, rules, the watch list and the wake),
// tray_settings.cpp (the settings file and the requests on settings, see
// tray_settings.h) and tray_reports.cpp (status, config, power and energy).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/json.h"
#include "base/result.h"
#include "standin/system_info.h"
#include "standin/tray_settings.h"

namespace vesk::standin {

struct Hold {
  std::string id;
  std::optional<uint32_t> pid;   // ends by itself when this process ends
  std::string reason;
  std::optional<uint64_t> until;  // FILETIME at which it ends by itself
};

// What the tray reads from the machine: the real thing by default, fakes in
// tests.
struct Machine {
  std::function<uint64_t()> now;           // FILETIME, for expiries
  std::function<uint64_t()> monotonic_ns;  // for CPU sampling
  std::function<void(unsigned)> sleep_ms;
  std::function<bool(uint32_t)> process_running;
  std::function<std::optional<standin::BatteryStatus>()> battery;
  std::function<std::vector<standin::ProcessCpu>()> processes;
  unsigned cpu_count = 1;  // logical processors
};
Machine real_machine();

// How long CPU use is sampled for "energy".
inline constexpr unsigned kCpuSampleMs = 150;

class Tray {
 public:
  // Reads the settings file; a missing or unreadable one means defaults.
  explicit Tray(std::string settings_path, Machine machine = real_machine());

  // The answer to one request.
  Json handle(std::string_view kind, const Json& args);

  // Ends holds whose time is up or whose process has ended, and an "always"
  // whose minutes have run out.
  void tidy();

  const std::vector<Hold>& holds() const { return holds_; }
  const Stored& stored() const { return stored_; }
  const std::string& settings_path() const { return path_; }

 private:
  // tray.cpp
  Json set_mode(const Json& args);
  Json hold(const Json& args);
  Json release(std::string_view kind, const Json& args);
  Json wake_at(const Json& args);
  Json rule(const Json& args);
  Json watch(const Json& args);
  Json refuse(const std::string& why);
  Json done(const std::string& status, Json extra = Json::object());
  // The one-line account of whether and why the laptop is kept awake.
  std::string sentence() const;

  // tray_settings.cpp
  Json set(const Json& args);  // refuses what breaks a safety rule
  Json preset(const Json& args);
  Json schema();
  // Writes the settings file for `next` and makes it the state; on failure
  // nothing changes (the file is replaced whole or not at all).
  Status commit(Stored next);

  // tray_reports.cpp
  Json status();
  Json config();
  Json power();
  Json energy();
  // What happens to an app while the lid is closed, by its rule or else the
  // preset: "left alone", "slowed" or "paused".
  std::string while_closed(std::string_view app) const;

  std::string path_;
  Machine machine_;
  Stored stored_;
  std::vector<Hold> holds_;
  uint64_t next_hold_ = 1;
};

}  // namespace vesk::standin
