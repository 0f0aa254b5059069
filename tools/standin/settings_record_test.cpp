#include "standin/settings_record.h"

#include <gtest/gtest.h>

#include "base/json.h"
#include "settings/catalogue.h"

namespace vesk::standin {
namespace {

TEST(Catalogue, ReadersGiveJsonTypes) {
  SettingsRecord s;
  s.mode = Mode::kOff;
  s.check_in_minutes = 30;
  s.heat_guard = false;
  s.ntfy_topic = "t";
  EXPECT_EQ(setting_value(s, "mode"), Json("off"));
  EXPECT_EQ(setting_value(s, "check_in_minutes"), Json(30));
  EXPECT_TRUE(setting_value(s, "check_in_minutes").is_number_unsigned());
  EXPECT_EQ(setting_value(s, "heat_guard"), Json(false));
  EXPECT_EQ(setting_value(s, "ntfy_topic"), Json("t"));
  EXPECT_EQ(setting_value(s, "preset"), Json("balanced"));
  // Every setting of the catalogue reads; anything else is null.
  for (const settings::SettingRow& row : settings::catalogue()) {
    EXPECT_FALSE(setting_value(s, row.key).is_null()) << row.key;
  }
  EXPECT_TRUE(setting_value(s, "Mode").is_null());
}

}  // namespace
}  // namespace vesk::standin
