// The tray's reports: "status" (mode, holds, watched apps, battery),
// "config" (where the settings are kept), "power" (what drains the battery,
// with the setting that would help) and "energy" (the apps using the most
// CPU, and what happens to each while the lid is closed). None of them
// changes anything.
#include "standin/tray.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

#include "standin/tray_text.h"

namespace vesk::standin {

namespace {

double one_decimal(double value) { return std::round(value * 10) / 10; }

enum class AppKind { kOther, kBrowser, kChat, kDocument, kLauncher, kSync, kMedia };

// What a preset does to an app, by the app's kind.
AppKind app_kind(const std::string& key) {
  static const std::unordered_map<std::string, AppKind> kKinds = {
      {"chrome", AppKind::kBrowser},     {"firefox", AppKind::kBrowser},
      {"msedge", AppKind::kBrowser},     {"brave", AppKind::kBrowser},
      {"opera", AppKind::kBrowser},      {"vivaldi", AppKind::kBrowser},
      {"chromium", AppKind::kBrowser},   {"slack", AppKind::kChat},
      {"discord", AppKind::kChat},       {"telegram", AppKind::kChat},
      {"whatsapp", AppKind::kChat},      {"signal", AppKind::kChat},
      {"element", AppKind::kChat},       {"winword", AppKind::kDocument},
      {"excel", AppKind::kDocument},     {"powerpnt", AppKind::kDocument},
      {"onenote", AppKind::kDocument},   {"soffice", AppKind::kDocument},
      {"soffice.bin", AppKind::kDocument}, {"acrord32", AppKind::kDocument},
      {"acrobat", AppKind::kDocument},   {"notion", AppKind::kDocument},
      {"obsidian", AppKind::kDocument},  {"steam", AppKind::kLauncher},
      {"epicgameslauncher", AppKind::kLauncher}, {"battle.net", AppKind::kLauncher},
      {"galaxyclient", AppKind::kLauncher}, {"eadesktop", AppKind::kLauncher},
      {"onedrive", AppKind::kSync},      {"dropbox", AppKind::kSync},
      {"googledrivefs", AppKind::kSync}, {"icloud", AppKind::kSync},
      {"nextcloud", AppKind::kSync},     {"syncthing", AppKind::kSync},
      {"spotify", AppKind::kMedia},      {"zoom", AppKind::kMedia},
      {"teams", AppKind::kMedia},        {"ms-teams", AppKind::kMedia},
      {"skype", AppKind::kMedia},        {"vlc", AppKind::kMedia},
  };
  auto it = kKinds.find(key);
  return it == kKinds.end() ? AppKind::kOther : it->second;
}

std::string_view rule_effect(std::string_view rule) {
  if (rule == "slow") return "slowed";
  if (rule == "pause") return "paused";
  return "left alone";
}

}  // namespace

Json Tray::status() {
  Json holds = Json::array();
  // The process a hold is bound to shows too, for the tests that check
  // whose it is; vesk itself reads only the id and the reason.
  for (const Hold& h : holds_) {
    Json hold{{"id", h.id}, {"reason", h.reason}};
    if (h.pid) hold["pid"] = *h.pid;
    holds.push_back(std::move(hold));
  }
  Json watching = Json::array();
  for (const std::string& app : stored_.watch) {
    watching.push_back({{"name", app},
                        {"working", false},
                        {"keeps_awake", stored_.settings.mode != Mode::kOff}});
  }
  Json reply = {{"mode", mode_name(stored_.settings.mode)},
                {"holds", holds},
                {"watching", watching}};
  if (auto battery = machine_.battery()) {
    reply["battery"] = {{"percent", one_decimal(battery->percent)},
                        {"on_power", battery->on_power}};
    if (!battery->on_power) {
      // A rough guess: the charge above the battery floor of an assumed
      // 50 Wh battery, at what a closed laptop draws: the present draw less
      // the screen's share, or a typical 5 W (7 W without power saver).
      const SettingsRecord& s = stored_.settings;
      double closed_watts = battery->watts ? std::max(*battery->watts * 0.7, 2.0)
                                           : (s.low_power ? 5.0 : 7.0);
      double usable = std::max(0.0, battery->percent - s.battery_floor) / 100.0 * 50.0;
      reply["hours_left_closed"] = one_decimal(usable / closed_watts);
      if (s.only_on_power) {
        reply["warning"] = "only_on_power is on and the charger is out: the laptop sleeps "
                           "when the lid closes.";
      }
    }
  }
  return done(sentence(), std::move(reply));
}

Json Tray::config() { return done("Settings are kept in " + path_ + ".", {{"path", path_}}); }

Json Tray::power() {
  const SettingsRecord& s = stored_.settings;
  auto battery = machine_.battery();
  std::string source = !battery ? "unknown" : battery->on_power ? "mains" : "battery";

  struct Suspect {
    bool active;
    std::string title;
    std::string_view setting;
    std::string suggested;
  };
  std::vector<Suspect> suspects;
  if (!s.low_power) {
    suspects.push_back({true, "Power saver is off while the lid is closed", "low_power", "on"});
  } else {
    suspects.push_back({false, "Power saver is on while the lid is closed", "low_power", "on"});
  }
  if (s.preset == Preset::kFullSpeed) {
    suspects.push_back(
        {true, "Other apps run at full speed with the lid closed", "preset", "balanced"});
  } else {
    suspects.push_back({false,
                        s.preset == Preset::kBalanced
                            ? "Other apps are slowed with the lid closed"
                            : "Other apps are paused or slowed with the lid closed",
                        "preset", std::string(preset_name(s.preset))});
  }
  if (s.check_in_minutes == 15) {
    suspects.push_back({true, "Waking every 15 minutes to check in", "check_in_minutes", "60"});
  } else {
    suspects.push_back({false,
                        s.check_in_minutes == 0
                            ? "No check-in wakes while asleep"
                            : "Checking in every " + std::to_string(s.check_in_minutes) +
                                  " minutes while asleep",
                        "check_in_minutes", std::to_string(s.check_in_minutes)});
  }
  if (s.battery_floor == 0) {
    suspects.push_back({true, "Nothing stops the battery running flat", "battery_floor", "10"});
  } else {
    suspects.push_back({false,
                        "Sleeps at " + std::to_string(s.battery_floor) + "% battery",
                        "battery_floor", std::to_string(s.battery_floor)});
  }

  Json list = Json::array();
  size_t active = 0;
  for (const Suspect& x : suspects) {
    active += x.active ? 1 : 0;
    list.push_back({{"active", x.active},
                    {"title", x.title},
                    {"setting", x.setting},
                    {"suggested_value", x.suggested}});
  }

  std::string status;
  Json reply = {{"source", source}, {"suspects", list}};
  if (!battery) {
    status = "This machine reports no battery.";
  } else if (battery->on_power) {
    status = "On mains power, battery at " + number_text(battery->percent) + "%.";
  } else {
    status = "On battery at " + number_text(battery->percent) + "%";
    if (battery->watts) {
      status += ", drawing " + number_text(*battery->watts) + " W";
      reply["system_watts"] = one_decimal(*battery->watts);
    }
    status += ".";
  }
  status += active == 0 ? " The settings are already easy on the battery."
            : active == 1 ? " 1 setting could save power."
                          : " " + std::to_string(active) + " settings could save power.";
  return done(status, std::move(reply));
}

std::string Tray::while_closed(std::string_view app) const {
  std::string key = app_key(app);
  if (auto it = stored_.rules.find(key); it != stored_.rules.end()) {
    return std::string(rule_effect(it->second));
  }
  AppKind kind = app_kind(key);
  if (kind == AppKind::kOther || kind == AppKind::kMedia) return "left alone";
  switch (stored_.settings.preset) {
    case Preset::kFullSpeed: return "left alone";
    case Preset::kBalanced: return "slowed";
    case Preset::kMaxBattery: return kind == AppKind::kBrowser ? "slowed" : "paused";
  }
  return "left alone";
}

Json Tray::energy() {
  // Two samples of every process's CPU time; the share of the whole machine
  // (all logical processors together are 100%) each app used in between.
  // The processes of one app (by name) count together.
  std::vector<standin::ProcessCpu> first = machine_.processes();
  uint64_t start = machine_.monotonic_ns();
  machine_.sleep_ms(kCpuSampleMs);
  std::vector<standin::ProcessCpu> second = machine_.processes();
  uint64_t elapsed_ns = std::max<uint64_t>(machine_.monotonic_ns() - start, 1);

  std::unordered_map<uint32_t, const standin::ProcessCpu*> before;
  for (const auto& p : first) before[p.pid] = &p;
  struct App {
    std::string name;
    uint64_t used = 0;   // 100-ns units between the samples
    uint64_t total = 0;  // all its CPU time so far: breaks ties
  };
  std::map<std::string, App> apps;
  for (const auto& p : second) {
    App& app = apps[p.name];
    app.name = p.name;
    app.total += p.cpu_time;
    auto it = before.find(p.pid);
    // A process that started between the samples (or took over the id of
    // one that ended) has nothing to compare with: it counts as idle.
    if (it != before.end() && it->second->name == p.name && p.cpu_time >= it->second->cpu_time) {
      app.used += p.cpu_time - it->second->cpu_time;
    }
  }
  std::vector<App> ranked;
  for (auto& [name, app] : apps) ranked.push_back(std::move(app));
  std::sort(ranked.begin(), ranked.end(), [](const App& a, const App& b) {
    if (a.used != b.used) return a.used > b.used;
    if (a.total != b.total) return a.total > b.total;
    return a.name < b.name;
  });
  if (ranked.size() > 10) ranked.resize(10);

  double capacity = static_cast<double>(elapsed_ns) / 100.0 * machine_.cpu_count;
  Json list = Json::array();
  for (const App& app : ranked) {
    double percent = std::min(100.0, 100.0 * static_cast<double>(app.used) / capacity);
    list.push_back({{"cpu_percent", one_decimal(percent)},
                    {"name", app.name},
                    {"while_closed", while_closed(app.name)}});
  }
  std::string status = ranked.empty() ? "No processes could be read."
                                      : "The " + std::to_string(ranked.size()) +
                                            " apps using the most CPU over " +
                                            std::to_string(kCpuSampleMs) + " ms.";
  return done(status, {{"apps", list}});
}

}  // namespace vesk::standin
