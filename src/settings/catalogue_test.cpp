#include "settings/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vesk::settings {
namespace {

TEST(Catalogue, KeysInOrder) {
  auto keys = setting_keys();
  const std::vector<std::string_view> expected{
      "mode",          "preset",     "low_power",       "battery_floor",
      "heat_guard",    "only_on_power", "quiet_minutes", "sleep_when_done",
      "claude_app",    "check_in_minutes", "notify_done", "ntfy_topic"};
  EXPECT_EQ(std::vector<std::string_view>(keys.begin(), keys.end()), expected);
}

TEST(Catalogue, RowsAreConsistent) {
  std::vector<std::string_view> groups;
  for (const SettingRow& row : catalogue()) {
    switch (row.kind) {
      case SettingKind::kBool:
        EXPECT_EQ(std::vector<std::string_view>(row.allowed.begin(), row.allowed.end()),
                  (std::vector<std::string_view>{"on", "off"}))
            << row.key;
        break;
      case SettingKind::kInt:
        EXPECT_TRUE(row.allowed.empty()) << row.key;
        EXPECT_GE(row.min, 0) << row.key;
        EXPECT_LT(row.min, row.max) << row.key;
        break;
      case SettingKind::kString:
        EXPECT_TRUE(row.allowed.empty()) << row.key;
        break;
      case SettingKind::kEnum:
        EXPECT_FALSE(row.allowed.empty()) << row.key;
        break;
    }
    if (row.kind != SettingKind::kInt) {
      EXPECT_EQ(row.min, row.max) << row.key;
    }
    EXPECT_EQ(row.note.empty(), row.key != "battery_floor" && row.key != "heat_guard") << row.key;
    EXPECT_FALSE(row.description.empty()) << row.key;
    if (std::find(groups.begin(), groups.end(), row.group) == groups.end()) {
      groups.push_back(row.group);
    }
    EXPECT_EQ(find_setting(row.key), &row);
  }
  EXPECT_EQ(groups, (std::vector<std::string_view>{"When to stay awake", "While the lid is closed",
                                                   "Safety", "While asleep", "Notifications"}));
  EXPECT_EQ(find_setting("Mode"), nullptr);
}

TEST(Catalogue, AllowedTextsListRangesAsMinDashMax) {
  const std::pair<std::string_view, std::vector<std::string>> cases[] = {
      {"battery_floor", {"0-80"}},
      {"quiet_minutes", {"1-240"}},
      {"mode", {"auto", "always", "off"}},
      {"low_power", {"on", "off"}},
      {"check_in_minutes", {"0", "15", "30", "60"}},
      {"ntfy_topic", {}},
  };
  for (const auto& [key, expected] : cases) {
    EXPECT_EQ(allowed_texts(*find_setting(key)), expected) << key;
  }
}

}  // namespace
}  // namespace vesk::settings
