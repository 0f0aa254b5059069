#include "standin/tray.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <thread>
#include <unordered_map>

#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::standin {

using settings::Mode;
using settings::Preset;
using settings::SettingRow;
using settings::SettingsRecord;

namespace {

constexpr uint64_t kFiletimePerMinute = 60ULL * 10000000ULL;
// The longest "for N minutes" taken: ten years.
constexpr double kMaxMinutes = 10 * 365 * 24 * 60;

// ---- Small text helpers ----------------------------------------------------

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::optional<int64_t> parse_i64(std::string_view text) {
  int64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

// A value as a message shows it: strings in quotes, whole numbers without a
// fraction (20.0 -> 20), the rest as JSON.
std::string shown(const Json& value) {
  if (value.is_string()) return "\"" + value.get<std::string>() + "\"";
  if (value.is_number_float()) {
    double d = value.get<double>();
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
      return std::to_string(static_cast<int64_t>(d));
    }
  }
  return compact_json(value);
}

// 30 -> "30", 2.5 -> "2.5", 0.25 -> "0.3".
std::string number_text(double value) {
  double rounded = std::round(value * 10) / 10;
  if (rounded == std::floor(rounded)) return std::to_string(static_cast<int64_t>(rounded));
  std::string text = std::to_string(rounded);
  return text.substr(0, text.find('.') + 2);
}

double one_decimal(double value) { return std::round(value * 10) / 10; }

std::string joined(std::span<const std::string_view> words) {
  std::string out;
  for (std::string_view w : words) {
    if (!out.empty()) out += ", ";
    out += w;
  }
  return out;
}

// The name an app goes by for rules and the watch list: lower case, without
// a trailing ".exe", so "Chrome.exe" and "chrome" are one app.
std::string app_key(std::string_view name) {
  std::string key = lower(trim(name));
  if (key.size() > 4 && key.ends_with(".exe")) key.resize(key.size() - 4);
  return key;
}

// Control characters (line breaks, tabs) become spaces: a status is one line.
std::string one_line(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return text;
}

std::string without_final_dot(std::string text) {
  while (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

// A JSON number with no fraction, as an integer.
std::optional<int64_t> whole_number(const Json& value) {
  if (value.is_number_unsigned()) {
    if (value.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
    return static_cast<int64_t>(value.get<uint64_t>());
  }
  if (value.is_number_integer()) return value.get<int64_t>();
  if (value.is_number_float()) {
    double d = value.get<double>();
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
      return static_cast<int64_t>(d);
    }
  }
  return std::nullopt;
}

// A number member as a count of minutes: nullopt when absent or null; an
// error when it is anything but a positive number.
Result<std::optional<double>> minutes_member(const Json& args) {
  const Json* m = member(args, "minutes");
  if (m == nullptr || m->is_null()) return std::optional<double>{};
  if (!m->is_number() || !std::isfinite(m->get<double>()) || m->get<double>() <= 0 ||
      m->get<double>() > kMaxMinutes) {
    return Error{"minutes must be a number above 0 and at most " +
                 std::to_string(static_cast<int64_t>(kMaxMinutes)) + ", not " + shown(*m) + "."};
  }
  return std::optional<double>{m->get<double>()};
}

// A process id member: absent is nullopt; anything but a whole number that
// fits a process id is an error.
Result<std::optional<uint32_t>> pid_member(const Json& args) {
  const Json* p = member(args, "pid");
  if (p == nullptr || p->is_null()) return std::optional<uint32_t>{};
  if (auto n = whole_number(*p); n && *n >= 0 && *n <= UINT32_MAX) {
    return std::optional<uint32_t>{static_cast<uint32_t>(*n)};
  }
  return Error{"pid must be a process id, not " + shown(*p) + "."};
}

// A hold id member: a string, or a whole number taken as its digits.
std::optional<std::string> id_member(const Json& args) {
  const Json* id = member(args, "id");
  if (id == nullptr) return std::nullopt;
  if (id->is_string()) return id->get<std::string>();
  if (id->is_number_integer()) return compact_json(*id);
  return std::nullopt;
}

// ---- Settings ----------------------------------------------------------------

struct Range {
  int64_t low, high;
};

// The range of an "int" row, from its one allowed text "low-high".
Range range_of(const SettingRow& row) {
  if (row.allowed.empty()) return {0, INT32_MAX};
  std::string_view text = row.allowed[0];
  size_t dash = text.find('-');
  auto low = parse_i64(text.substr(0, dash));
  auto high = dash == std::string_view::npos ? std::nullopt : parse_i64(text.substr(dash + 1));
  return {low.value_or(0), high.value_or(INT32_MAX)};
}

bool allows(const SettingRow& row, std::string_view text) {
  return std::find(row.allowed.begin(), row.allowed.end(), text) != row.allowed.end();
}

// ntfy topics: letters, digits, '-' and '_', at most 64.
bool valid_topic(std::string_view topic) {
  if (topic.size() > 64) return false;
  return std::all_of(topic.begin(), topic.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '_';
  });
}

// Puts a setting text (already checked by setting_text) into the record.
void store(SettingsRecord& s, std::string_view key, const std::string& text) {
  bool on = text == "on";
  int64_t n = parse_i64(text).value_or(0);
  if (key == "mode") {
    for (Mode m : {Mode::kOff, Mode::kAuto, Mode::kAlways}) {
      if (settings::mode_name(m) == text) s.mode = m;
    }
  } else if (key == "preset") {
    for (Preset p : {Preset::kMaxBattery, Preset::kBalanced, Preset::kFullSpeed}) {
      if (settings::preset_name(p) == text) s.preset = p;
    }
  } else if (key == "low_power") {
    s.low_power = on;
  } else if (key == "battery_floor") {
    s.battery_floor = static_cast<uint32_t>(n);
  } else if (key == "heat_guard") {
    s.heat_guard = on;
  } else if (key == "only_on_power") {
    s.only_on_power = on;
  } else if (key == "quiet_minutes") {
    s.quiet_minutes = static_cast<uint32_t>(n);
  } else if (key == "sleep_when_done") {
    s.sleep_when_done = on;
  } else if (key == "claude_app") {
    s.claude_app = on;
  } else if (key == "check_in_minutes") {
    s.check_in_minutes = static_cast<uint32_t>(n);
  } else if (key == "notify_done") {
    s.notify_done = on;
  } else if (key == "ntfy_topic") {
    s.ntfy_topic = text;
  }
}

// A setting's current value as setting_text would give it.
std::string current_text(const SettingRow& row, const SettingsRecord& s) {
  Json value = row.read(s);
  if (value.is_boolean()) return value.get<bool>() ? "on" : "off";
  if (value.is_string()) return value.get<std::string>();
  return compact_json(value);
}

std::string_view preset_effect(Preset preset) {
  switch (preset) {
    case Preset::kMaxBattery:
      return "chat, document, launcher and sync apps pause and browsers slow while the lid is "
             "closed";
    case Preset::kBalanced:
      return "chat, document, launcher and sync apps and browsers slow while the lid is closed";
    case Preset::kFullSpeed:
      return "other apps are left alone while the lid is closed";
  }
  return "";
}

// ---- Apps ----------------------------------------------------------------------

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

// ---- The settings file ---------------------------------------------------------

// "H:MM" or "HH:MM" from 00:00 to 23:59, as "HH:MM".
std::optional<std::string> clock_time(std::string_view text) {
  size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2) return std::nullopt;
  std::string_view h = text.substr(0, colon), m = text.substr(colon + 1);
  if (m.size() != 2) return std::nullopt;
  for (char c : h) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  for (char c : m) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  auto hours = parse_i64(h), minutes = parse_i64(m);
  if (!hours || !minutes || *hours > 23 || *minutes > 59) return std::nullopt;
  std::string out = (*hours < 10 ? "0" : "") + std::to_string(*hours) + ":" + std::string(m);
  return out;
}

}  // namespace

// ---- Public helpers ------------------------------------------------------------

Machine real_machine() {
  Machine m;
  m.now = [] { return platform::system_filetime(); };
  m.monotonic_ns = [] { return platform::monotonic_ns(); };
  m.sleep_ms = [](unsigned ms) { platform::sleep_ms(ms); };
  m.process_running = [](uint32_t pid) { return platform::process_start_time(pid).has_value(); };
  m.battery = [] { return standin::battery_status(); };
  m.processes = [] { return standin::process_cpu_times(); };
  m.cpu_count = std::max(1u, std::thread::hardware_concurrency());
  return m;
}

Result<std::string> setting_text(const SettingRow& row, const Json& value) {
  std::string key(row.key);
  std::string typed = value.is_string() ? lower(trim(value.get<std::string>())) : std::string();
  if (row.kind == "bool") {
    if (value.is_boolean()) return std::string(value.get<bool>() ? "on" : "off");
    if (typed == "on" || typed == "true" || typed == "yes" || typed == "1") return std::string("on");
    if (typed == "off" || typed == "false" || typed == "no" || typed == "0") {
      return std::string("off");
    }
    return Error{key + " is on or off, not " + shown(value) + "."};
  }
  if (row.kind == "int") {
    Range range = range_of(row);
    std::optional<int64_t> n = value.is_string() ? parse_i64(typed) : whole_number(value);
    if (!n || *n < range.low || *n > range.high) {
      return Error{key + " must be a whole number from " + std::to_string(range.low) + " to " +
                   std::to_string(range.high) + ", not " + shown(value) + "."};
    }
    return std::to_string(*n);
  }
  if (row.kind == "enum") {
    std::optional<std::string> text;
    if (value.is_string()) {
      text = typed;
      // A numeric choice whose 0 means off also takes "off".
      if (typed == "off" && !allows(row, "off") && allows(row, "0")) text = "0";
    } else if (value.is_null() && allows(row, "0")) {
      text = "0";
    } else if (auto n = whole_number(value)) {
      text = std::to_string(*n);
    }
    if (!text || !allows(row, *text)) {
      return Error{key + " is one of " + joined(row.allowed) + ", not " + shown(value) + "."};
    }
    return *text;
  }
  // "string"
  if (value.is_null()) return std::string();
  if (!value.is_string()) return Error{key + " is a text, not " + shown(value) + "."};
  std::string text(trim(value.get<std::string>()));
  if (row.key == "ntfy_topic" && !valid_topic(text)) {
    return Error{"ntfy_topic may hold only letters, digits, - and _ (at most 64), not " +
                 shown(value) + "."};
  }
  return text;
}

std::string stored_text(const Stored& stored) {
  Json settings = Json::object();
  for (const SettingRow& row : settings::catalogue()) {
    settings[std::string(row.key)] = row.read(stored.settings);
  }
  Json doc = {{"settings", settings}, {"rules", stored.rules}, {"watch", stored.watch}};
  // Unix seconds in the file, rounded up.
  if (stored.mode_until) {
    uint64_t ft = std::max(*stored.mode_until, platform::kUnixEpochFiletime);
    doc["mode_until"] = (ft - platform::kUnixEpochFiletime + 9999999) / 10000000;
  }
  if (stored.wake) {
    doc["wake_at"] = {{"time", stored.wake->time}, {"minutes", nullptr}};
    if (stored.wake->minutes) doc["wake_at"]["minutes"] = *stored.wake->minutes;
  }
  return pretty_json(doc) + "\n";
}

Stored read_stored(std::string_view text) {
  Stored stored;
  auto doc = parse_json(text);
  if (!doc || !doc->is_object()) return stored;
  if (const Json* values = member(*doc, "settings")) {
    for (const SettingRow& row : settings::catalogue()) {
      const Json* value = member(*values, row.key);
      if (value == nullptr) continue;
      if (auto shown = setting_text(row, *value)) store(stored.settings, row.key, *shown);
    }
  }
  if (const Json* until = member(*doc, "mode_until"); until && until->is_number_unsigned()) {
    uint64_t seconds = std::min<uint64_t>(until->get<uint64_t>(), UINT64_MAX / 20000000);
    if (stored.settings.mode == Mode::kAlways) {
      stored.mode_until = platform::kUnixEpochFiletime + seconds * 10000000;
    }
  }
  if (const Json* rules = member(*doc, "rules"); rules && rules->is_object()) {
    for (const auto& [app, rule] : rules->items()) {
      if (rule.is_string() && (rule == "leave" || rule == "slow" || rule == "pause") &&
          !app_key(app).empty()) {
        stored.rules[app_key(app)] = rule.get<std::string>();
      }
    }
  }
  if (const Json* watch = array_member(*doc, "watch")) {
    for (const Json& app : *watch) {
      if (app.is_string() && !app_key(app.get<std::string>()).empty()) {
        stored.watch.push_back(app.get<std::string>());
      }
    }
  }
  if (const Json* wake = member(*doc, "wake_at")) {
    const std::string* time = string_member(*wake, "time");
    if (auto t = time ? clock_time(*time) : std::nullopt) {
      stored.wake = WakeAt{*t, number_member(*wake, "minutes")};
    }
  }
  return stored;
}

// ---- The tray --------------------------------------------------------------------

Tray::Tray(std::string settings_path, Machine machine)
    : path_(std::move(settings_path)), machine_(std::move(machine)) {
  if (auto text = platform::read_file(path_)) stored_ = read_stored(*text);
  tidy();
}

Status Tray::commit(Stored next) {
  // Write a sibling, then rename it over the file: a reader (or a crash)
  // never sees half a file.
  std::string tmp = path_ + ".tmp" + std::to_string(platform::current_pid());
  {
    TRY_ASSIGN(platform::WriteFile file, platform::WriteFile::create(tmp));
    Status written = file.write_all(stored_text(next));
    if (written) written = file.flush_to_disk();
    if (written) written = file.close();
    if (!written) {
      (void)file.close();
      (void)platform::remove_file(tmp);
      return written;
    }
  }
  if (Status moved = platform::rename_replace(tmp, path_); !moved) {
    (void)platform::remove_file(tmp);
    return moved;
  }
  stored_ = std::move(next);
  return {};
}

void Tray::tidy() {
  uint64_t now = machine_.now();
  std::erase_if(holds_, [&](const Hold& h) {
    return (h.until && now >= *h.until) || (h.pid && !machine_.process_running(*h.pid));
  });
  if (stored_.mode_until && now >= *stored_.mode_until) {
    Stored next = stored_;
    next.settings.mode = Mode::kAuto;
    next.mode_until.reset();
    if (!commit(next)) stored_ = std::move(next);  // not saved; the file says so on restart
  }
}

std::string Tray::sentence() const {
  if (stored_.settings.mode == Mode::kAlways) {
    if (!stored_.mode_until) return "Keeping the laptop awake.";
    uint64_t now = machine_.now();
    uint64_t left = *stored_.mode_until > now ? *stored_.mode_until - now : 0;
    uint64_t minutes = (left + kFiletimePerMinute - 1) / kFiletimePerMinute;
    return "Keeping the laptop awake for " + std::to_string(std::max<uint64_t>(minutes, 1)) +
           " more min, then back to auto.";
  }
  if (holds_.size() == 1) return "Keeping the laptop awake: " + holds_[0].reason + ".";
  if (holds_.size() > 1) {
    return "Keeping the laptop awake for " + std::to_string(holds_.size()) + " holds.";
  }
  if (stored_.settings.mode == Mode::kOff) return "Not keeping the laptop awake on its own.";
  return "Keeping awake while an agent works.";
}

Json Tray::refuse(const std::string& why) {
  return {{"ok", false}, {"error", one_line(why)}, {"status", one_line(sentence())}};
}

Json Tray::done(const std::string& status, Json extra) {
  extra["ok"] = true;
  extra["status"] = one_line(status);
  return extra;
}

Json Tray::handle(std::string_view kind, const Json& args) {
  tidy();
  if (kind == "status") return status();
  if (kind == "mode") return set_mode(args);
  if (kind == "hold") return hold(args);
  if (kind == "release" || kind == "release_own" || kind == "release_pid") {
    return release(kind, args);
  }
  if (kind == "wake_at") return wake_at(args);
  if (kind == "set") return set(args);
  if (kind == "preset") return preset(args);
  if (kind == "rule") return rule(args);
  if (kind == "watch") return watch(args);
  if (kind == "schema") return schema();
  if (kind == "config") {
    return done("Settings are kept in " + path_ + ".", {{"path", path_}});
  }
  if (kind == "power") return power();
  if (kind == "energy") return energy();
  if (kind == "sleep_now") return done("Letting the laptop sleep now.");
  if (kind == "quit") return done("Quitting.");
  return refuse("Vesk doesn't know the request \"" + std::string(kind) + "\".");
}

Json Tray::status() {
  Json holds = Json::array();
  for (const Hold& h : holds_) holds.push_back({{"id", h.id}, {"reason", h.reason}});
  Json watching = Json::array();
  for (const std::string& app : stored_.watch) {
    watching.push_back({{"name", app},
                        {"working", false},
                        {"keeps_awake", stored_.settings.mode != Mode::kOff}});
  }
  Json reply = {{"mode", settings::mode_name(stored_.settings.mode)},
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

Json Tray::set_mode(const Json& args) {
  const std::string* typed = string_member(args, "mode");
  if (typed == nullptr) return refuse("A mode is needed: always, auto or off.");
  const std::string wanted = lower(trim(*typed));
  const std::string* mode = &wanted;
  if (*mode != "always" && *mode != "auto" && *mode != "off") {
    return refuse("Unknown mode \"" + *typed + "\": use always, auto or off.");
  }
  auto minutes = minutes_member(args);
  if (!minutes) return refuse(minutes.message());
  if (*minutes && *mode != "always") return refuse("Only always takes minutes.");
  Stored next = stored_;
  store(next.settings, "mode", *mode);
  next.mode_until.reset();
  if (*minutes) {
    next.mode_until = machine_.now() + static_cast<uint64_t>(**minutes * kFiletimePerMinute);
  }
  if (Status saved = commit(std::move(next)); !saved) {
    return refuse("Couldn't save the settings: " + saved.message());
  }
  if (*minutes) {
    return done("Keeping the laptop awake for " + number_text(**minutes) + " min.",
                {{"mode", *mode}});
  }
  return done(sentence(), {{"mode", *mode}});
}

Json Tray::hold(const Json& args) {
  auto minutes = minutes_member(args);
  if (!minutes) return refuse(minutes.message());
  auto pid = pid_member(args);
  if (!pid) return refuse(pid.message());
  if (*pid && !machine_.process_running(**pid)) {
    return refuse("Process " + std::to_string(**pid) + " isn't running.");
  }
  Hold hold;
  hold.id = std::to_string(next_hold_++);
  hold.pid = *pid;
  const std::string* reason = string_member(args, "reason");
  hold.reason = reason ? without_final_dot(one_line(std::string(trim(*reason)))) : std::string();
  if (hold.reason.empty()) hold.reason = "held by request";
  if (*minutes) {
    hold.until = machine_.now() + static_cast<uint64_t>(**minutes * kFiletimePerMinute);
  }
  holds_.push_back(hold);
  std::string how = *minutes ? "for " + number_text(**minutes) + " min" : "until released";
  return done("Keeping the laptop awake " + how + ": " + hold.reason + ".",
              {{"hold", {{"id", hold.id}}}});
}

Json Tray::release(std::string_view kind, const Json& args) {
  auto pid = pid_member(args);
  if (!pid) return refuse(pid.message());
  std::optional<std::string> id = id_member(args);
  const Json* id_value = member(args, "id");
  bool id_given = id_value != nullptr && !id_value->is_null();
  if (id_given && !id) return refuse("id must be a hold id or null, not " + shown(*id_value) + ".");

  auto remove = [&](auto&& which) {
    size_t before = holds_.size();
    std::erase_if(holds_, which);
    return before - holds_.size();
  };

  if (kind == "release_pid") {
    if (!*pid) return refuse("release_pid needs the pid whose holds end.");
    size_t n = remove([&](const Hold& h) { return h.pid == *pid; });
    return done(sentence(), {{"released", n}});
  }
  if (kind == "release_own") {
    if (!id || !*pid) return refuse("release_own needs the hold's id and the pid that owns it.");
    auto it = std::find_if(holds_.begin(), holds_.end(), [&](const Hold& h) { return h.id == *id; });
    if (it == holds_.end()) return done("No hold " + *id + "; nothing released.", {{"released", 0}});
    if (it->pid != *pid) {
      return done("Hold " + *id + " belongs to another process; nothing released.",
                  {{"released", 0}});
    }
    holds_.erase(it);
    return done(sentence(), {{"released", 1}});
  }
  if (!id) {
    size_t n = remove([](const Hold&) { return true; });
    return done(n == 0 ? "There were no holds. " + sentence() : sentence(), {{"released", n}});
  }
  auto it = std::find_if(holds_.begin(), holds_.end(), [&](const Hold& h) { return h.id == *id; });
  if (it == holds_.end()) return refuse("No hold with id \"" + *id + "\".");
  holds_.erase(it);
  return done(sentence(), {{"released", 1}});
}

Json Tray::wake_at(const Json& args) {
  const Json* time = member(args, "time");
  if (time == nullptr || !time->is_string()) {
    return refuse("A wake time is needed: HH:MM, or off.");
  }
  std::string typed(trim(time->get<std::string>()));
  Stored next = stored_;
  std::string status;
  if (lower(typed) == "off") {
    status = stored_.wake ? "Cancelled the wake at " + stored_.wake->time + "."
                          : "No wake was scheduled.";
    next.wake.reset();
  } else {
    auto at = clock_time(typed);
    if (!at) {
      return refuse(shown(*time) + " isn't a time: use HH:MM from 00:00 to 23:59, or off.");
    }
    auto minutes = minutes_member(args);
    if (!minutes) return refuse(minutes.message());
    next.wake = WakeAt{*at, *minutes};
    status = "Will wake the laptop at " + *at;
    if (*minutes) status += " and keep it awake for " + number_text(**minutes) + " min";
    status += ".";
  }
  if (Status saved = commit(std::move(next)); !saved) {
    return refuse("Couldn't save the settings: " + saved.message());
  }
  Json wake = stored_.wake ? Json(stored_.wake->time) : Json(nullptr);
  return done(status, {{"wake_at", wake}});
}

Json Tray::set(const Json& args) {
  const std::string* key = string_member(args, "key");
  if (key == nullptr) return refuse("Which setting? `vesk settings` lists them.");
  const SettingRow* row = settings::find_setting(*key);
  if (row == nullptr) {
    return refuse("Unknown setting \"" + *key + "\". `vesk settings` lists them.");
  }
  const Json* value = member(args, "value");
  auto text = setting_text(*row, value ? *value : Json(nullptr));
  if (!text) return refuse(text.message());

  const SettingsRecord& now = stored_.settings;
  Stored next = stored_;
  store(next.settings, row->key, *text);
  // The two safety rules: from here these only move the safer way.
  if (*key == "battery_floor" && next.settings.battery_floor < now.battery_floor) {
    return refuse("battery_floor can only be raised from here (it is " +
                  std::to_string(now.battery_floor) +
                  "%); it can only be lowered from the Vesk menu.");
  }
  if (*key == "heat_guard" && now.heat_guard && !next.settings.heat_guard) {
    return refuse("heat_guard can only be turned on from here; it can only be turned off from "
                  "the Vesk menu.");
  }
  if (*key == "mode") next.mode_until.reset();

  std::string before = current_text(*row, now);
  if (Status saved = commit(std::move(next)); !saved) {
    return refuse("Couldn't save the settings: " + saved.message());
  }
  std::string after = current_text(*row, stored_.settings);
  std::string shown_after = after.empty() ? "empty" : after;
  std::string status = before == after ? *key + " was already " + shown_after + "."
                                       : *key + " is now " + shown_after + ".";
  return done(status, {{"key", *key}, {"value", row->read(stored_.settings)}});
}

Json Tray::preset(const Json& args) {
  const Json* value = member(args, "preset");
  auto text = setting_text(*settings::find_setting("preset"), value ? *value : Json(nullptr));
  if (!text) return refuse(text.message());
  Stored next = stored_;
  store(next.settings, "preset", *text);
  if (Status saved = commit(std::move(next)); !saved) {
    return refuse("Couldn't save the settings: " + saved.message());
  }
  return done("Preset " + *text + ": " + std::string(preset_effect(stored_.settings.preset)) + ".",
              {{"preset", *text}});
}

Json Tray::rule(const Json& args) {
  const std::string* app = string_member(args, "app");
  if (app == nullptr || app_key(*app).empty()) return refuse("A rule needs an app name.");
  const std::string* rule = string_member(args, "rule");
  if (rule == nullptr) return refuse("A rule is needed: leave, slow, pause or default.");
  std::string r = lower(trim(*rule));
  if (r != "leave" && r != "slow" && r != "pause" && r != "default") {
    return refuse("A rule is leave, slow, pause or default, not \"" + *rule + "\".");
  }
  std::string name = one_line(std::string(trim(*app)));
  Stored next = stored_;
  if (r == "default") {
    next.rules.erase(app_key(name));
  } else {
    next.rules[app_key(name)] = r;
  }
  if (Status saved = commit(std::move(next)); !saved) {
    return refuse("Couldn't save the settings: " + saved.message());
  }
  std::string effect(while_closed(name));
  std::string status = r == "default"
                           ? name + " follows the preset again (" + effect +
                                 " while the lid is closed)."
                           : name + " will be " + effect + " while the lid is closed.";
  return done(status, {{"app", name}, {"rule", r}});
}

Json Tray::watch(const Json& args) {
  const std::string* app = string_member(args, "app");
  if (app == nullptr || app_key(*app).empty()) return refuse("Watching needs an app name.");
  const Json* remove_value = member(args, "remove");
  if (remove_value != nullptr && !remove_value->is_boolean() && !remove_value->is_null()) {
    return refuse("remove is true or false, not " + shown(*remove_value) + ".");
  }
  bool remove = remove_value != nullptr && remove_value->is_boolean() && remove_value->get<bool>();
  std::string name = one_line(std::string(trim(*app)));
  std::string key = app_key(name);
  Stored next = stored_;
  auto it = std::find_if(next.watch.begin(), next.watch.end(),
                         [&](const std::string& w) { return app_key(w) == key; });
  std::string status;
  if (remove) {
    if (it == next.watch.end()) return refuse(name + " isn't being watched.");
    next.watch.erase(it);
    status = "No longer watching " + name + ".";
  } else if (it != next.watch.end()) {
    return done("Already watching " + name + ".", {{"app", name}});
  } else {
    next.watch.push_back(name);
    status = "Watching " + name + ": it keeps the laptop awake while it works.";
  }
  if (Status saved = commit(std::move(next)); !saved) {
    return refuse("Couldn't save the settings: " + saved.message());
  }
  return done(status, {{"app", name}});
}

Json Tray::schema() {
  Json entries = Json::array();
  for (const SettingRow& row : settings::catalogue()) {
    Json allowed = Json::array();
    for (std::string_view a : row.allowed) allowed.push_back(std::string(a));
    Json entry = {{"key", row.key},
                  {"value", row.read(stored_.settings)},
                  {"allowed", allowed},
                  {"description", row.description}};
    if (!row.note.empty()) entry["note"] = std::string(row.note);
    entries.push_back(std::move(entry));
  }
  return done(std::to_string(entries.size()) + " settings, kept in " + path_ + ".",
              {{"settings", entries}, {"config_file", path_}});
}

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
                        "preset", std::string(settings::preset_name(s.preset))});
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
