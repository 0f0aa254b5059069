#include "restore/power_settings.h"

#include <gtest/gtest.h>

#include "restore/test_fakes.h"

namespace vesk::restore {
namespace {

using platform::PowerSource;
using testing::FakePower;
using testing::plan;

TEST(ParsePlanGuid, OnlyTheDigitsCount) {
  const Guid lid = kLidCloseAction;
  const char* same[] = {
      "5ca83367-6e45-459f-a27b-476b1d01c936",
      "5CA83367-6E45-459F-A27B-476B1D01C936",
      "{5ca83367-6e45-459f-a27b-476b1d01c936}",
      "5ca833676e45459fa27b476b1d01c936",
      " 5ca83367 6e45 459f a27b 476b1d01c936 ",
      "{5ca83367-6e45-459f-a27b-476b1d01c936}",   // 38 bytes
      "5ca83367-6e45-459f-a27b-476b1d01c936xy",   // other characters are skipped
  };
  for (const char* text : same) {
    auto g = parse_plan_guid(text);
    ASSERT_TRUE(g) << text;
    EXPECT_EQ(*g, lid) << text;
  }
}

TEST(ParsePlanGuid, FieldsInOrder) {
  auto g = parse_plan_guid("0123456789abcdef0011223344556677");
  ASSERT_TRUE(g);
  EXPECT_EQ(g->data1, 0x01234567u);
  EXPECT_EQ(g->data2, 0x89abu);
  EXPECT_EQ(g->data3, 0xcdefu);
  const std::array<uint8_t, 8> data4 = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
  EXPECT_EQ(g->data4, data4);
}

TEST(ParsePlanGuid, None) {
  const std::string digits32 = "5ca833676e45459fa27b476b1d01c936";
  const std::string rows[] = {
      "",
      digits32.substr(1),                             // 31 digits
      digits32 + "0",                                 // 33 digits
      digits32 + std::string(7, ' '),                 // 39 bytes
      std::string(20, ' ') + digits32,                // 52 bytes
      "{5ca83367-6e45-459f-a27b-476b1d01c936}\n",     // 39 bytes
      "5ca83367-6e45-459f-a27b-476b1d01c936xyz",      // 39 bytes
      "5ca83367-6e45-459f-a27b-476b1d01c93g",         // g is no digit: 31
      "not a guid at all",
  };
  for (const std::string& text : rows) EXPECT_FALSE(parse_plan_guid(text)) << text;
}

TEST(PowerSettings, WriteIntoAnotherPlanIsNotApplied) {
  FakePower power;
  power.active = plan(1);
  EXPECT_TRUE(write_lid_action(power, plan(2), 1, 2));
  EXPECT_EQ(power.count("get_active"), 1u);
  EXPECT_EQ(power.count("set_active"), 0u);
  EXPECT_EQ(power.get(plan(2), kLidCloseAction, PowerSource::ac), 1u);
  EXPECT_EQ(power.get(plan(2), kLidCloseAction, PowerSource::dc), 2u);
}

TEST(PowerSettings, WriteIntoTheActivePlanIsApplied) {
  FakePower power;
  power.active = plan(1);
  EXPECT_TRUE(write_boost_dc(power, plan(1), 2));
  ASSERT_EQ(power.count("set_active"), 1u);
  EXPECT_EQ(power.calls.back().op, "set_active");
  EXPECT_EQ(power.calls.back().plan, plan(1));
  // With no plan in force nothing is set active.
  FakePower none;
  EXPECT_TRUE(write_boost_dc(none, plan(1), 2));
  EXPECT_EQ(none.count("set_active"), 0u);
}

TEST(PowerSettings, SecondLidWriteIsMadeWhenTheFirstFails) {
  FakePower power;
  power.fails = [](const testing::PowerCall& c) {
    return c.op == "write" && c.source == PowerSource::ac;
  };
  Status written = write_lid_action(power, plan(3), 1, 2);
  ASSERT_FALSE(written);
  // The first failure, with the system's reason.
  EXPECT_EQ(written.message(),
            "couldn't write the lid-close action (plugged in): Access is denied. (os error 5)");
  auto writes = power.writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1].source, PowerSource::dc);
  EXPECT_EQ(writes[1].value, 2u);
  EXPECT_EQ(power.get(plan(3), kLidCloseAction, PowerSource::dc), 2u);
}

TEST(PowerSettings, AllFourSleepWritesAreMade) {
  FakePower power;
  int n = 0;
  power.fails = [&](const testing::PowerCall& c) { return c.op == "write" && ++n == 2; };
  Status written = write_sleep_timeouts(power, plan(1), {1, 2, 3, 4});
  ASSERT_FALSE(written);
  EXPECT_EQ(written.message(),
            "couldn't write the sleep timeout (on battery): Access is denied. (os error 5)");
  auto writes = power.writes();
  ASSERT_EQ(writes.size(), 4u);
  const std::pair<Guid, PowerSource> order[] = {{kStandbyTimeout, PowerSource::ac},
                                                {kStandbyTimeout, PowerSource::dc},
                                                {kUnattendSleepTimeout, PowerSource::ac},
                                                {kUnattendSleepTimeout, PowerSource::dc}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(writes[i].setting, order[i].first) << i;
    EXPECT_EQ(writes[i].source, order[i].second) << i;
    EXPECT_EQ(writes[i].value, i + 1) << i;
  }
  FakePower fine;
  EXPECT_TRUE(write_sleep_timeouts(fine, plan(1), {1, 2, 3, 4}));
}

TEST(PowerSettings, Reads) {
  FakePower power;
  power.set_lid(plan(1), 3, 4);
  power.set_sleep(plan(1), {10, 20, 30, 40});
  power.set(plan(1), kPerfBoostMode, PowerSource::dc, 2);

  auto lid = read_lid_action(power, plan(1));
  ASSERT_TRUE(lid);
  EXPECT_EQ(lid->ac, 3u);
  EXPECT_EQ(lid->dc, 4u);
  EXPECT_EQ(read_boost_dc(power, plan(1)), 2u);
  auto sleep = read_sleep_timeouts(power, plan(1));
  EXPECT_EQ(sleep.read, (std::array<bool, 4>{true, true, true, true}));
  EXPECT_EQ(sleep.values, (std::array<uint32_t, 4>{10, 20, 30, 40}));

  // One failed read: no lid pair; the failed timeout reads as 0.
  power.fails = [](const testing::PowerCall& c) {
    return c.op == "read" && c.source == PowerSource::dc;
  };
  EXPECT_FALSE(read_lid_action(power, plan(1)));
  EXPECT_FALSE(read_boost_dc(power, plan(1)));
  sleep = read_sleep_timeouts(power, plan(1));
  EXPECT_EQ(sleep.read, (std::array<bool, 4>{true, false, true, false}));
  EXPECT_EQ(sleep.values, (std::array<uint32_t, 4>{10, 0, 30, 0}));
}

TEST(PowerSettings, ActivePlan) {
  FakePower power;
  EXPECT_FALSE(active_plan(power));
  power.active = plan(9);
  EXPECT_EQ(active_plan(power), plan(9));
  power.fails = [](const testing::PowerCall& c) { return c.op == "get_active"; };
  EXPECT_FALSE(active_plan(power));
}

TEST(PowerSettings, OverlayUnavailableIsNeverAFailure) {
  FakePower power;
  power.overlay_available = false;
  power.fails = [](const testing::PowerCall&) { return true; };
  EXPECT_EQ(actual_overlay(power).result, OverlayResult::unavailable);
  EXPECT_EQ(set_overlay(power, plan(1)), OverlayResult::unavailable);
}

TEST(PowerSettings, Overlay) {
  FakePower power;
  power.overlay = plan(5);
  OverlayRead read = actual_overlay(power);
  EXPECT_EQ(read.result, OverlayResult::done);
  EXPECT_EQ(read.overlay, plan(5));
  EXPECT_EQ(set_overlay(power, plan(6)), OverlayResult::done);
  EXPECT_EQ(power.overlay, plan(6));
  power.fails = [](const testing::PowerCall&) { return true; };
  EXPECT_EQ(actual_overlay(power).result, OverlayResult::failed);
  EXPECT_EQ(set_overlay(power, plan(7)), OverlayResult::failed);
}

TEST(PowerSettings, OtherSystemsHaveNone) {
  // This build's system: on Windows the real power settings, which tests
  // leave alone; elsewhere there are none, and every call says so.
  platform::PowerApi& api = platform::system_power();
  if (api.get_active_scheme()) GTEST_SKIP() << "a system with power plans";
  EXPECT_FALSE(read_lid_action(api, plan(1)));
  EXPECT_FALSE(write_lid_action(api, plan(1), 1, 1));
  EXPECT_FALSE(write_sleep_timeouts(api, plan(1), {1, 1, 1, 1}));
  EXPECT_FALSE(read_boost_dc(api, plan(1)));
  EXPECT_EQ(actual_overlay(api).result, OverlayResult::unavailable);
}

}  // namespace
}  // namespace vesk::restore
