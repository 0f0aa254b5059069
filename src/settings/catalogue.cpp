#include "settings/catalogue.h"

namespace vesk::settings {

namespace {

using V = std::string_view;
constexpr std::array<V, 3> kModes{"auto", "always", "off"};
constexpr std::array<V, 2> kOnOff{"on", "off"};
constexpr std::span<const V> kNone{};

constexpr V kWhenAwake = "When to stay awake";
constexpr V kLidClosed = "While the lid is closed";
constexpr V kSafety = "Safety";
constexpr V kAsleep = "While asleep";
constexpr V kNotifications = "Notifications";

// The two safety rules: these settings only move in the safer direction
// through the app link. The tray app enforces them on "set".
constexpr V kFloorNote =
    "Can only be raised from commands; lowering it is the person's call in the Vesk menu.";
constexpr V kHeatNote = "Can only be turned on from commands.";

const SettingRow kCatalogue[] = {
    {"mode", SettingKind::kEnum, kModes, 0, 0, kWhenAwake,
     "auto (When Busy): awake only while an agent or watched app is working. always: until "
     "turned off. off: normal sleep (explicit holds still work).",
     ""},
    {"preset", SettingKind::kEnum, kPresetNames, 0, 0, kLidClosed,
     "What happens to other apps with the lid shut. max_battery: pause chat, document, "
     "launcher and sync apps and slow browsers (music and calls keep going). balanced: slow "
     "them. full_speed: leave them.",
     ""},
    {"low_power", SettingKind::kBool, kOnOff, 0, 0, kLidClosed,
     "Power-saver mode while the lid is closed; your setting comes back when it opens.", ""},
    {"battery_floor", SettingKind::kInt, kNone, 0, 80, kSafety,
     "Sleep when the battery reaches this percent (0 = never stop for battery).", kFloorNote},
    {"heat_guard", SettingKind::kBool, kOnOff, 0, 0, kSafety,
     "Switch to the strictest rules when the laptop gets hot and sleep if it gets critical.",
     kHeatNote},
    {"only_on_power", SettingKind::kBool, kOnOff, 0, 0, kSafety,
     "Only stay awake while the charger is covering the load.", ""},
    {"quiet_minutes", SettingKind::kInt, kNone, 1, 240, kWhenAwake,
     "In auto mode, sleep after an agent has been quiet this many minutes.", ""},
    {"sleep_when_done", SettingKind::kBool, kOnOff, 0, 0, kWhenAwake,
     "In auto mode, let the laptop sleep once the work stops.", ""},
    {"claude_app", SettingKind::kBool, kOnOff, 0, 0, kWhenAwake,
     "Count the Claude desktop app as an agent.", ""},
    {"check_in_minutes", SettingKind::kEnum, kCheckInChoices, 0, 0, kAsleep,
     "With the lid shut and the laptop asleep, wake it every this many minutes for about 25 "
     "seconds to pick up a wake sent from the phone, then sleep again. 0 = off. Costs a little "
     "battery per check-in; a laptop that's shut down can't be woken.",
     ""},
    {"notify_done", SettingKind::kBool, kOnOff, 0, 0, kNotifications,
     "Notification when an agent that was busy goes idle.", ""},
    {"ntfy_topic", SettingKind::kString, kNone, 0, 0, kNotifications,
     "ntfy.sh topic for phone alerts when work goes idle; empty turns them off.", ""},
};

}  // namespace

std::span<const SettingRow> catalogue() { return kCatalogue; }

std::span<const std::string_view> setting_keys() {
  static const auto kKeys = [] {
    std::array<std::string_view, std::size(kCatalogue)> keys{};
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = kCatalogue[i].key;
    return keys;
  }();
  return kKeys;
}

std::vector<std::string> allowed_texts(const SettingRow& row) {
  if (row.kind == SettingKind::kInt) {
    return {std::to_string(row.min) + "-" + std::to_string(row.max)};
  }
  return std::vector<std::string>(row.allowed.begin(), row.allowed.end());
}

const SettingRow* find_setting(std::string_view key) {
  for (const SettingRow& row : kCatalogue) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

}  // namespace vesk::settings
