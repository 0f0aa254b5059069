// Numbers and times typed on the command line, and durations as text.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/json_fwd.h"
#include "cli/context.h"

namespace vesk::cli {

// A decimal floating-point number: optional sign, digits, optional fraction,
// optional exponent, or the words for infinity and not-a-number (any case).
// Nothing else, not even white space.
std::optional<double> read_number(std::string_view text);

// read_number as a JSON value: a finite number as a floating value, anything
// else (not a number, infinite, NaN) as null.
Json number_or_null(std::string_view text);
Json number_or_null(double value);

// The word of `on until <hour>`, and the hours it takes as they are offered
// for completion (also "07", "7:30" and "+7" are read).
inline constexpr std::array<std::string_view, 1> kOnWords{"until"};
inline constexpr std::array<std::string_view, 24> kUntilHours{
    "0",  "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11",
    "12", "13", "14", "15", "16", "17", "18", "19", "20", "21", "22", "23"};

// A time of day of `on until`.
struct ClockTime {
  int hour = 0;
  int minute = 0;
  friend bool operator==(const ClockTime&, const ClockTime&) = default;
};

// The time of `on until`: the hour, an optional '+' and digits, 0 to 23;
// then, optionally, ':' and the minute as exactly two digits, 00 to 59
// ("7:5" is refused rather than guessed as 7:05 or 7:50).
std::optional<ClockTime> read_until_time(std::string_view text);

// Local minus UTC in seconds at a Unix time.
using OffsetFn = std::function<int64_t(int64_t unix_seconds)>;

// The next Unix time at which the local clock shows `at`, more than 60
// seconds ahead on the local clock. The offset is taken at the target itself so that a
// daylight-saving change in between is honoured. When `at` does not exist
// that day (the clock jumps over it), the answer is the moment of the jump;
// when the clock shows it twice (it goes back), the first time.
int64_t next_local_time(int64_t now, ClockTime at, const OffsetFn& offset);

// The arguments of `on`: no minutes (keep awake until told otherwise), a
// positive number of minutes, or an error message.
Result<std::optional<double>> parse_on_arguments(const Args& args, int64_t now,
                                                 const OffsetFn& offset);

// "under 1 min", "45 min", "2 h", "2 h 05 min"; "–" for negative (not -0),
// infinite or NaN.
std::string minutes_text(double minutes);
// "99+ h" from 99 hours on, else minutes_text of the hours in minutes.
std::string hours_text(double hours);

}  // namespace vesk::cli
