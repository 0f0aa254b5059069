// The stand-in's tray state and its answers to requests, apart from the file
// exchange: mode, holds, settings (kept in a settings file), app rules, the
// watch list and a scheduled wake, plus what the machine reports about its
// battery and its busiest processes.
//
// Every answer is a JSON object with "ok" and a one-line "status"; a refusal
// also carries "error", and changes nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/json.h"
#include "base/result.h"
#include "standin/system_info.h"
#include "settings/catalogue.h"

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

// A scheduled wake from sleep.
struct WakeAt {
  std::string time;               // "HH:MM"
  std::optional<double> minutes;  // how long to stay awake after it
};

// Everything the settings file keeps.
struct Stored {
  settings::SettingsRecord settings;
  std::optional<uint64_t> mode_until;        // FILETIME: "always" then turns to "auto"
  std::map<std::string, std::string> rules;  // app key -> "leave", "slow" or "pause"
  std::vector<std::string> watch;            // apps as they were named
  std::optional<WakeAt> wake;
};

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
  Json status();
  Json set_mode(const Json& args);
  Json hold(const Json& args);
  Json release(std::string_view kind, const Json& args);
  Json wake_at(const Json& args);
  Json set(const Json& args);
  Json preset(const Json& args);
  Json rule(const Json& args);
  Json watch(const Json& args);
  Json schema();
  Json power();
  Json energy();

  Json refuse(const std::string& why);
  Json done(const std::string& status, Json extra = Json::object());
  std::string sentence() const;
  // Saves `next` and makes it the state; on failure nothing changes.
  Status commit(Stored next);
  std::string while_closed(std::string_view app) const;

  std::string path_;
  Machine machine_;
  Stored stored_;
  std::vector<Hold> holds_;
  uint64_t next_hold_ = 1;
};

// The settings file's text for `stored`, and `stored` read back from it
// (what does not read keeps its default).
std::string stored_text(const Stored& stored);
Stored read_stored(std::string_view text);

// A value for a setting as a person types it ("on", "30", "balanced") or as
// a caller sends it (true, 30, null), made into the text the catalogue lists
// ("on", "30", "0"); an error names the problem.
Result<std::string> setting_text(const settings::SettingRow& row, const Json& value);

}  // namespace vesk::standin
