#include "standin/settings_record.h"

#include "base/json.h"

namespace vesk::standin {

namespace {

struct Reader {
  std::string_view key;
  Json (*read)(const SettingsRecord&);
};

// One reader per setting of the catalogue.
const Reader kReaders[] = {
    {"mode", [](const SettingsRecord& s) { return Json(mode_name(s.mode)); }},
    {"preset", [](const SettingsRecord& s) { return Json(preset_name(s.preset)); }},
    {"low_power", [](const SettingsRecord& s) { return Json(s.low_power); }},
    {"battery_floor", [](const SettingsRecord& s) { return Json(s.battery_floor); }},
    {"heat_guard", [](const SettingsRecord& s) { return Json(s.heat_guard); }},
    {"only_on_power", [](const SettingsRecord& s) { return Json(s.only_on_power); }},
    {"quiet_minutes", [](const SettingsRecord& s) { return Json(s.quiet_minutes); }},
    {"sleep_when_done", [](const SettingsRecord& s) { return Json(s.sleep_when_done); }},
    {"claude_app", [](const SettingsRecord& s) { return Json(s.claude_app); }},
    {"check_in_minutes", [](const SettingsRecord& s) { return Json(s.check_in_minutes); }},
    {"notify_done", [](const SettingsRecord& s) { return Json(s.notify_done); }},
    {"ntfy_topic", [](const SettingsRecord& s) { return Json(s.ntfy_topic); }},
};

}  // namespace

Json setting_value(const SettingsRecord& s, std::string_view key) {
  for (const Reader& reader : kReaders) {
    if (reader.key == key) return reader.read(s);
  }
  return Json(nullptr);
}

std::string_view mode_name(Mode mode) {
  switch (mode) {
    case Mode::kOff: return "off";
    case Mode::kAuto: return "auto";
    case Mode::kAlways: return "always";
  }
  return "auto";
}

std::string_view preset_name(Preset preset) {
  switch (preset) {
    case Preset::kMaxBattery: return "max_battery";
    case Preset::kBalanced: return "balanced";
    case Preset::kFullSpeed: return "full_speed";
  }
  return "balanced";
}

}  // namespace vesk::standin
