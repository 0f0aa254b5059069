// The tray's settings (see tray_settings.h): the values each setting takes,
// the settings file, and the "set", "preset" and "schema" requests with the
// two safety rules.
#include "standin/tray_settings.h"

#include <algorithm>
#include <span>

#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "standin/tray.h"
#include "standin/tray_text.h"

namespace vesk::standin {

using settings::SettingKind;
using settings::SettingRow;

namespace {

// "a, b or c".
std::string joined(std::span<const std::string_view> words) {
  std::string out;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out += i + 1 == words.size() ? " or " : ", ";
    out += words[i];
  }
  return out;
}

// "<key> takes <what>, not <value>."; a null value (what the front end sends
// for a word that isn't a number) is not named.
Error takes(const SettingRow& row, std::string_view what, const Json& value) {
  std::string message = std::string(row.key) + " takes " + std::string(what);
  if (!value.is_null()) message += ", not " + shown(value);
  return Error{message + "."};
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

// A setting's current value as setting_text would give it.
std::string current_text(const SettingRow& row, const SettingsRecord& s) {
  Json value = setting_value(s, row.key);
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

}  // namespace

void store_setting(SettingsRecord& s, std::string_view key, const std::string& text) {
  bool on = text == "on";
  int64_t n = parse_i64(text).value_or(0);
  if (key == "mode") {
    for (Mode m : {Mode::kOff, Mode::kAuto, Mode::kAlways}) {
      if (mode_name(m) == text) s.mode = m;
    }
  } else if (key == "preset") {
    for (Preset p : {Preset::kMaxBattery, Preset::kBalanced, Preset::kFullSpeed}) {
      if (preset_name(p) == text) s.preset = p;
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

Result<std::string> setting_text(const SettingRow& row, const Json& value) {
  std::string typed = value.is_string() ? lower(trim(value.get<std::string>())) : std::string();
  if (row.kind == SettingKind::kBool) {
    if (value.is_boolean()) return std::string(value.get<bool>() ? "on" : "off");
    if (typed == "on" || typed == "true" || typed == "yes" || typed == "1") return std::string("on");
    if (typed == "off" || typed == "false" || typed == "no" || typed == "0") {
      return std::string("off");
    }
    return takes(row, "on or off", value);
  }
  if (row.kind == SettingKind::kInt) {
    std::optional<int64_t> n = value.is_string() ? parse_i64(typed) : whole_number(value);
    if (!n || *n < row.min || *n > row.max) {
      return takes(row,
                   "a whole number from " + std::to_string(row.min) + " to " +
                       std::to_string(row.max),
                   value);
    }
    return std::to_string(*n);
  }
  if (row.kind == SettingKind::kEnum) {
    std::optional<std::string> text;
    if (value.is_string()) {
      text = typed;
      // A numeric choice whose 0 means off also takes "off".
      if (typed == "off" && !allows(row, "off") && allows(row, "0")) text = "0";
    } else if (auto n = whole_number(value)) {
      text = std::to_string(*n);
    }
    if (!text || !allows(row, *text)) return takes(row, joined(row.allowed), value);
    return *text;
  }
  // SettingKind::kString
  if (!value.is_string()) return takes(row, "a text", value);
  std::string text(trim(value.get<std::string>()));
  if (row.key == "ntfy_topic" && !valid_topic(text)) {
    return takes(row, "only letters, digits, - and _ (at most 64)", value);
  }
  return text;
}

std::string stored_text(const Stored& stored) {
  Json settings = Json::object();
  for (const SettingRow& row : settings::catalogue()) {
    settings[std::string(row.key)] = setting_value(stored.settings, row.key);
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
      if (auto shown_text = setting_text(row, *value)) store_setting(stored.settings, row.key, *shown_text);
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

// ---- The requests that change settings ---------------------------------------

Status Tray::commit(Stored next) {
  // Replaced whole: a reader (or a crash) never sees half a file.
  TRY(platform::write_file_atomic(path_, stored_text(next)));
  stored_ = std::move(next);
  return {};
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
  store_setting(next.settings, row->key, *text);
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
  return done(status, {{"key", *key}, {"value", setting_value(stored_.settings, row->key)}});
}

Json Tray::preset(const Json& args) {
  const Json* value = member(args, "preset");
  auto text = setting_text(*settings::find_setting("preset"), value ? *value : Json(nullptr));
  if (!text) return refuse(text.message());
  Stored next = stored_;
  store_setting(next.settings, "preset", *text);
  if (Status saved = commit(std::move(next)); !saved) {
    return refuse("Couldn't save the settings: " + saved.message());
  }
  return done("Preset " + *text + ": " + std::string(preset_effect(stored_.settings.preset)) + ".",
              {{"preset", *text}});
}

Json Tray::schema() {
  Json entries = Json::array();
  for (const SettingRow& row : settings::catalogue()) {
    Json entry = {{"key", row.key},
                  {"value", setting_value(stored_.settings, row.key)},
                  {"allowed", settings::allowed_texts(row)},
                  {"description", row.description}};
    if (!row.note.empty()) entry["note"] = std::string(row.note);
    entries.push_back(std::move(entry));
  }
  return done(std::to_string(entries.size()) + " settings, kept in " + path_ + ".",
              {{"settings", entries}, {"config_file", path_}});
}

}  // namespace vesk::standin
