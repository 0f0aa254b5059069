#include "cli/time_args.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vesk::cli {
namespace {

TEST(ReadNumber, DecimalSyntaxOnly) {
  const std::pair<const char*, std::optional<double>> rows[] = {
      {"30", 30.0},      {"0.5", 0.5},       {"-5", -5.0},     {"+7", 7.0},
      {"1e3", 1000.0},   {"2.5E-1", 0.25},   {".5", 0.5},      {"5.", 5.0},
      {"007", 7.0},      {"1e400", HUGE_VAL}, {"abc", std::nullopt},
      {"", std::nullopt}, {"+", std::nullopt}, {"1,5", std::nullopt}, {" 5", std::nullopt},
      {"5 ", std::nullopt}, {"0x10", std::nullopt}, {"1e", std::nullopt}, {"--5", std::nullopt},
      {"infinity", HUGE_VAL}, {"-INF", -HUGE_VAL}, {"Inf", HUGE_VAL}, {"infin", std::nullopt},
  };
  for (const auto& [text, value] : rows) EXPECT_EQ(read_number(text), value) << text;
  EXPECT_TRUE(std::isnan(*read_number("NaN")));
  EXPECT_FALSE(read_number("nan(1)").has_value());
}

TEST(ReadUntilTime, HourAndTwoDigitMinutes) {
  const std::pair<const char*, std::optional<ClockTime>> rows[] = {
      {"7", ClockTime{7, 0}},
      {"07:00", ClockTime{7, 0}},
      {"7:59", ClockTime{7, 59}},
      {"+7", ClockTime{7, 0}},
      {"007", ClockTime{7, 0}},
      {"0", ClockTime{0, 0}},
      {"23", ClockTime{23, 0}},
      {"23:59", ClockTime{23, 59}},
      {"0:00", ClockTime{0, 0}},
      {"+7:05", ClockTime{7, 5}},
      {"00000000000000000000000007", ClockTime{7, 0}},
      {"00000000000000000000000007:30", ClockTime{7, 30}},
      // The minute is exactly two digits, 00 to 59; "7:5" could be 7:05 or 7:50.
      {"23:99", std::nullopt},
      {"7:60", std::nullopt},
      {"7:5", std::nullopt},
      {"7:005", std::nullopt},
      {"7:", std::nullopt},
      {"7:+5", std::nullopt},
      {"7:-5", std::nullopt},
      {"7:5a", std::nullopt},
      {"7:30:00", std::nullopt},
      {"7:3 ", std::nullopt},
      {"24", std::nullopt},
      {"24:00", std::nullopt},
      {"-1", std::nullopt},
      {":30", std::nullopt},
      {"seven", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"7a", std::nullopt},
      {"99999999999999999999", std::nullopt},
  };
  for (const auto& [text, at] : rows) EXPECT_EQ(read_until_time(text), at) << text;
}

// A zone one hour east of UTC that moves to two hours at `change`.
struct SpringForward {
  int64_t change;
  int64_t operator()(int64_t t) const { return t < change ? 3600 : 7200; }
};
struct FallBack {
  int64_t change;
  int64_t operator()(int64_t t) const { return t < change ? 7200 : 3600; }
};

constexpr int64_t kDay = 1796515200;  // a UTC midnight

TEST(OnUntil, MinutesToTheNextTime) {
  auto utc = [](int64_t) { return int64_t{0}; };
  struct Row {
    int64_t now;
    const char* at;
    double minutes;
  };
  const Row rows[] = {
      {kDay + 6 * 3600 + 30 * 60, "7", 30},         // 06:30 -> 07:00
      {kDay + 6 * 3600 + 59 * 60 + 30, "7", 1441},  // 30 s is too close: tomorrow
      {kDay + 6 * 3600 + 58 * 60 + 59, "7", 2},     // 61 s ahead: today
      {kDay + 23 * 3600, "7", 480},                 // 23:00 -> 07:00
      {kDay + 7 * 3600, "7", 1440},                 // on the hour: tomorrow
      {kDay + 6 * 3600 + 30 * 60 + 1, "7", 30},     // 29:59 rounds up
      {kDay + 6 * 3600 + 30 * 60, "7:59", 89},      // 06:30 -> 07:59
      {kDay + 7 * 3600 + 30 * 60, "7:59", 29},      // 07:30 -> 07:59, not tomorrow's 07:00
      {kDay + 7 * 3600 + 58 * 60 + 30, "7:59", 1441},  // 30 s is too close: tomorrow
      {kDay + 8 * 3600, "7:59", 1439},              // past it: tomorrow
      {kDay + 23 * 3600 + 50 * 60, "0:05", 15},     // across midnight
      {kDay + 6 * 3600, "07:00", 60},
  };
  for (const Row& row : rows) {
    auto minutes = parse_on_arguments({"until", row.at}, row.now, utc);
    ASSERT_TRUE(minutes) << minutes.message();
    EXPECT_EQ(*minutes, row.minutes) << row.now << " " << row.at;
  }
}

TEST(OnUntil, DaylightSavingChanges) {
  // 01:30 local (UTC+1); the clock jumps from 02:00 to 03:00 at 01:00 UTC.
  const int64_t jump = kDay + 3600;
  SpringForward spring{jump};
  // The clock goes back from 03:00 to 02:00 at 01:00 UTC.
  FallBack fall{kDay + 3600};
  struct Row {
    int64_t now;
    const char* at;
    std::function<int64_t(int64_t)> zone;
    double minutes;
  };
  const Row rows[] = {
      // 07:00 local after the jump is 05:00 UTC: 4.5 real hours away.
      {kDay + 30 * 60, "7", spring, 270},
      {kDay + 30 * 60, "7:59", spring, 329},
      // 02:00 and 02:30 never show: the jump itself, 30 minutes away.
      {kDay + 30 * 60, "2", spring, 30},
      {kDay + 30 * 60, "2:30", spring, 30},
      // 03:00 local is the jump too; 03:15 a quarter of an hour after it.
      {kDay + 30 * 60, "3", spring, 30},
      {kDay + 30 * 60, "3:15", spring, 45},
      // From 23:00 the evening before, the skipped hour is still the jump,
      // not an hour early (01:00 or 01:30 local).
      {kDay - 2 * 3600, "2", spring, 180},
      {kDay - 2 * 3600, "2:30", spring, 180},
      {kDay - 2 * 3600, "1:59", spring, 179},
      // 01:30 local (UTC+2); at 01:00 UTC the clock goes back from 03:00 to 02:00.
      // 07:00 local after the change is 06:00 UTC: 6.5 real hours away.
      {kDay - 30 * 60, "7", fall, 390},
      {kDay - 30 * 60, "7:45", fall, 435},
      // 02:30 shows twice: the first time, an hour away.
      {kDay - 30 * 60, "2:30", fall, 60},
  };
  for (const Row& row : rows) {
    auto minutes = parse_on_arguments({"until", row.at}, row.now, row.zone);
    ASSERT_TRUE(minutes) << minutes.message();
    EXPECT_EQ(*minutes, row.minutes) << row.now << " " << row.at;
  }

  // Every time of a day with a jump in it gives a positive count.
  for (int64_t t = kDay - 86400; t < kDay + 86400; t += 97) {
    for (const char* at : {"0", "1", "1:59", "2", "2:01", "2:30", "3", "3:01", "7", "23:59"}) {
      auto minutes = parse_on_arguments({"until", at}, t, spring);
      ASSERT_TRUE(minutes);
      ASSERT_GE(**minutes, 1.0) << t << " " << at;
      ASSERT_LE(**minutes, 1500.0) << t << " " << at;
    }
  }
}

TEST(OnArguments, Refusals) {
  auto utc = [](int64_t) { return int64_t{0}; };
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"0"}, "\"0\" isn't a number of minutes"},
      {{"-1"}, "\"-1\" isn't a number of minutes"},
      {{"abc"}, "\"abc\" isn't a number of minutes"},
      {{"nan"}, "\"nan\" isn't a number of minutes"},
      {{"inf"}, "\"inf\" isn't a number of minutes"},
      {{"a\tb"}, "\"a\\tb\" isn't a number of minutes"},
      {{"until", "24"}, "use an hour like 7 or 07:00"},
      {{"until", "-1"}, "use an hour like 7 or 07:00"},
      {{"until", ":30"}, "use an hour like 7 or 07:00"},
      {{"until", "seven"}, "use an hour like 7 or 07:00"},
      {{"until", "7:60"}, "use an hour like 7 or 07:00"},
      {{"until", "7:5"}, "use an hour like 7 or 07:00"},
      {{"until", "7:"}, "use an hour like 7 or 07:00"},
      {{"until", "7:ab"}, "use an hour like 7 or 07:00"},
      {{"30", "40"}, "usage: vesk on [minutes | until <hour>]"},
      {{"after", "7"}, "usage: vesk on [minutes | until <hour>]"},
      {{"until", "7", "x"}, "usage: vesk on [minutes | until <hour>]"},
      {{"until"}, "\"until\" isn't a number of minutes"},
  };
  for (const auto& [args, message] : rows) {
    auto result = parse_on_arguments(args, kDay, utc);
    ASSERT_FALSE(result) << args[0];
    EXPECT_EQ(result.message(), message);
  }
  EXPECT_EQ(*parse_on_arguments({}, kDay, utc), std::nullopt);
  EXPECT_EQ(*parse_on_arguments({"0.5"}, kDay, utc), std::optional<double>(0.5));
}

TEST(Durations, MinutesAndHoursText) {
  struct Row {
    double in;
    const char* minutes;
    const char* hours;
  };
  const Row rows[] = {
      {0, "under 1 min", "under 1 min"},
      {0.4, "under 1 min", "24 min"},
      {59.5, "1 h", "59 h 30 min"},
      {61, "1 h 01 min", "61 h"},
      {150, "2 h 30 min", "99+ h"},
      {-1, "\xE2\x80\x93", "\xE2\x80\x93"},
      {-0.0, "under 1 min", "under 1 min"},
      {HUGE_VAL, "\xE2\x80\x93", "\xE2\x80\x93"},
      {std::nan(""), "\xE2\x80\x93", "\xE2\x80\x93"},
      {1, "1 min", "1 h"},
      {59.49, "59 min", "59 h 29 min"},
      {3.25, "3 min", "3 h 15 min"},
      {98.999, "1 h 39 min", "99 h"},
      {0.001, "under 1 min", "under 1 min"},
      {1e12, "16666666666 h 40 min", "99+ h"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(minutes_text(row.in), row.minutes) << row.in;
    EXPECT_EQ(hours_text(row.in), row.hours) << row.in;
  }
}

}  // namespace
}  // namespace vesk::cli
