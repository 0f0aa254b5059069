#include "settings/catalogue.h"

#include <gtest/gtest.h>

namespace vesk::settings {
namespace {

TEST(Catalogue, KeysInOrder) {
  auto keys = setting_keys();
  const std::array<std::string_view, 12> expected{
      "mode",          "preset",     "low_power",       "battery_floor",
      "heat_guard",    "only_on_power", "quiet_minutes", "sleep_when_done",
      "claude_app",    "check_in_minutes", "notify_done", "ntfy_topic"};
  EXPECT_EQ(keys, expected);
}

TEST(Catalogue, RowsAreConsistent) {
  std::vector<std::string_view> groups;
  for (const SettingRow& row : catalogue()) {
    if (row.kind == "bool") {
      EXPECT_EQ(std::vector<std::string_view>(row.allowed.begin(), row.allowed.end()),
                (std::vector<std::string_view>{"on", "off"}))
          << row.key;
    } else if (row.kind == "int") {
      ASSERT_EQ(row.allowed.size(), 1u) << row.key;
      EXPECT_NE(row.allowed[0].find('-'), std::string_view::npos) << row.key;
    } else if (row.kind == "string") {
      EXPECT_TRUE(row.allowed.empty()) << row.key;
    } else {
      EXPECT_EQ(row.kind, "enum") << row.key;
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

TEST(Catalogue, ReadersGiveJsonTypes) {
  SettingsRecord s;
  s.mode = Mode::kOff;
  s.check_in_minutes = 30;
  s.heat_guard = false;
  s.ntfy_topic = "t";
  EXPECT_EQ(find_setting("mode")->read(s), Json("off"));
  EXPECT_EQ(find_setting("check_in_minutes")->read(s), Json(30));
  EXPECT_TRUE(find_setting("check_in_minutes")->read(s).is_number_unsigned());
  EXPECT_EQ(find_setting("heat_guard")->read(s), Json(false));
  EXPECT_EQ(find_setting("ntfy_topic")->read(s), Json("t"));
  EXPECT_EQ(find_setting("preset")->read(s), Json("balanced"));
}

}  // namespace
}  // namespace vesk::settings
