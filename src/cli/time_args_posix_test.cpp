// `on until` under a real zone with daylight saving time (the zone is set
// through TZ, which only the POSIX layer reads).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "cli/time_args.h"
#include "platform/clock.h"

namespace vesk::cli {
namespace {

TEST(OnUntil, RealZoneWithDaylightSaving) {
  // The C library's conversion under a zone with daylight saving time.
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  auto local = [](int64_t t) { return platform::local_offset(t); };
  // 2026-03-29 00:30 UTC is 01:30 CET; clocks go to CEST at 01:00 UTC.
  const int64_t now = 1774744200;
  const struct {
    int64_t now;
    const char* at;
    double minutes;
  } rows[] = {
      {now, "7", 270},
      {now, "7:59", 329},
      {now, "2", 30},
      {now, "2:30", 30},  // never shows: the jump
      {now, "3:15", 45},
      // 22:30 CET the evening before: the skipped 02:30 is the jump, 3.5 h away.
      {now - 3 * 3600, "2:30", 210},
      {now - 3 * 3600, "1:59", 209},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(*parse_on_arguments({"until", row.at}, row.now, local),
              std::optional<double>(row.minutes))
        << row.at;
  }
  if (old) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

}  // namespace
}  // namespace vesk::cli
