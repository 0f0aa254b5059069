// The user settings: key, kind, allowed values or range, group,
// description and safety note. The tray app stores and applies them; this
// program names them in "set" requests and MCP tools.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::settings {

// The fixed choices that commands, their usage lines and shell completion
// share: the presets (as listed), the check-in intervals in minutes, and
// what an app's rule can be while the lid is closed.
inline constexpr std::array<std::string_view, 3> kPresetNames{"max_battery", "balanced",
                                                              "full_speed"};
inline constexpr std::array<std::string_view, 4> kCheckInChoices{"0", "15", "30", "60"};
inline constexpr std::array<std::string_view, 4> kRuleActions{"leave", "slow", "pause",
                                                              "default"};

// What values a setting takes.
enum class SettingKind {
  kEnum,    // one of `allowed`
  kBool,    // on or off (`allowed` lists "on", "off")
  kInt,     // a whole number from `min` to `max`
  kString,  // a text
};

struct SettingRow {
  std::string_view key;
  SettingKind kind;
  std::span<const std::string_view> allowed;  // an enum or bool row's values; else empty
  int64_t min;                                // an int row's range; else 0
  int64_t max;
  std::string_view group;
  std::string_view description;
  std::string_view note;  // empty: no note
};

// The catalogue in its fixed order.
std::span<const SettingRow> catalogue();

// The keys in catalogue order.
std::span<const std::string_view> setting_keys();

// The allowed values as they are listed: an enum or bool row's values, an
// int row's range as one text "min-max" ("0-80"), none for a string row.
std::vector<std::string> allowed_texts(const SettingRow& row);

// The row of a key; nullptr when the key is not a setting.
const SettingRow* find_setting(std::string_view key);

}  // namespace vesk::settings
