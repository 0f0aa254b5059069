// The settings as the tray app holds them: mode, preset and the values of
// the catalogue's settings (settings/catalogue.h), and a reader of each
// setting's value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/json_fwd.h"

namespace vesk::standin {

enum class Mode { kOff, kAuto, kAlways };  // stored order; names differ in order
enum class Preset { kMaxBattery, kBalanced, kFullSpeed };

struct SettingsRecord {
  Mode mode = Mode::kAuto;
  Preset preset = Preset::kBalanced;
  bool low_power = true;
  uint32_t battery_floor = 10;
  bool heat_guard = true;
  bool only_on_power = false;
  uint32_t quiet_minutes = 10;
  bool sleep_when_done = true;
  bool claude_app = true;
  uint32_t check_in_minutes = 0;
  bool notify_done = false;
  std::string ntfy_topic;
};

std::string_view mode_name(Mode mode);
std::string_view preset_name(Preset preset);

// The current value of the setting `key` as the settings file and the
// replies carry it; null for a key that is not a setting.
Json setting_value(const SettingsRecord& s, std::string_view key);

}  // namespace vesk::standin
