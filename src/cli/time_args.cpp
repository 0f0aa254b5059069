#include "cli/time_args.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/json.h"
#include "cli/text.h"

namespace vesk::cli {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != b[i]) return false;
  }
  return true;
}

// Digits [. digits] | . digits, then an optional exponent.
bool is_decimal(std::string_view s) {
  size_t i = 0, int_digits = 0, frac_digits = 0;
  while (i < s.size() && is_digit(s[i])) ++i, ++int_digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && is_digit(s[i])) ++i, ++frac_digits;
  }
  if (int_digits + frac_digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t exp_digits = 0;
    while (i < s.size() && is_digit(s[i])) ++i, ++exp_digits;
    if (exp_digits == 0) return false;
  }
  return i == s.size();
}

}  // namespace

std::optional<double> read_number(std::string_view text) {
  bool negative = false;
  std::string_view body = text;
  if (!body.empty() && (body.front() == '+' || body.front() == '-')) {
    negative = body.front() == '-';
    body.remove_prefix(1);
  }
  if (equals_ignoring_case(body, "inf") || equals_ignoring_case(body, "infinity")) {
    return negative ? -HUGE_VAL : HUGE_VAL;
  }
  if (equals_ignoring_case(body, "nan")) return negative ? -std::nan("") : std::nan("");
  if (!is_decimal(body)) return std::nullopt;
  // The C locale is in force (the program never changes it), so strtod reads
  // '.' as the decimal point; out-of-range values become infinity or zero.
  std::string copy(body);
  double value = std::strtod(copy.c_str(), nullptr);
  return negative ? -value : value;
}

Json number_or_null(double value) {
  return std::isfinite(value) ? Json(value) : Json(nullptr);
}

Json number_or_null(std::string_view text) {
  std::optional<double> value = read_number(text);
  return value ? number_or_null(*value) : Json(nullptr);
}

std::optional<ClockTime> read_until_time(std::string_view text) {
  const size_t colon = text.find(':');
  std::string_view hour = text.substr(0, colon);
  if (!hour.empty() && hour.front() == '+') hour.remove_prefix(1);
  if (hour.empty()) return std::nullopt;
  ClockTime at;
  for (char c : hour) {
    if (!is_digit(c)) return std::nullopt;
    at.hour = at.hour * 10 + (c - '0');
    if (at.hour >= static_cast<int>(kUntilHours.size())) return std::nullopt;
  }
  if (colon == std::string_view::npos) return at;
  std::string_view minute = text.substr(colon + 1);
  if (minute.size() != 2 || !is_digit(minute[0]) || !is_digit(minute[1])) return std::nullopt;
  at.minute = (minute[0] - '0') * 10 + (minute[1] - '0');
  if (at.minute >= 60) return std::nullopt;
  return at;
}

int64_t next_local_time(int64_t now, ClockTime at, const OffsetFn& offset) {
  auto floor_at_zero = [](int64_t v) { return v < 0 ? 0 : v; };
  const int64_t off = offset(now);
  const int64_t local = now + off;
  const int64_t midnight = local - (((local % 86400) + 86400) % 86400);
  int64_t target = midnight + static_cast<int64_t>(at.hour) * 3600 + int64_t{at.minute} * 60;
  if (local + 60 >= target) target += 86400;
  const int64_t first = floor_at_zero(target - off);
  const int64_t result = floor_at_zero(target - offset(first));
  if (result + offset(result) == target) return result;
  // The clock jumps over the target (the start of daylight saving time): the
  // target is reached at the jump, the first moment the clock shows it or
  // later. Local time only moves forward there, so the moment is found by
  // halving the span between the two readings of the target.
  int64_t low = std::min(first, result), high = std::max(first, result);
  if (high + offset(high) < target) return high;
  while (low < high) {
    const int64_t mid = low + (high - low) / 2;
    if (mid + offset(mid) >= target) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  return high;
}

Result<std::optional<double>> parse_on_arguments(const Args& args, int64_t now,
                                                 const OffsetFn& offset) {
  if (args.empty()) return std::optional<double>();
  if (args.size() == 1) {
    std::optional<double> minutes = read_number(args[0]);
    if (!minutes || !std::isfinite(*minutes) || !(*minutes > 0)) {
      return Error{quote_word(args[0]) + " isn't a number of minutes"};
    }
    return std::optional<double>(*minutes);
  }
  if (args.size() == 2 && args[0] == kOnWords[0]) {
    std::optional<ClockTime> at = read_until_time(args[1]);
    if (!at) return Error{"use an hour like 7 or 07:00"};
    int64_t target = next_local_time(now, *at, offset);
    double minutes = std::ceil(static_cast<double>(target - now) / 60.0);
    // Never a negative or zero span, whatever the clock and the zone say.
    if (!(minutes >= 1)) minutes = 1;
    return std::optional<double>(minutes);
  }
  return Error{"usage: vesk on [minutes | until <hour>]"};
}

std::string minutes_text(double m) {
  if (std::isnan(m) || std::isinf(m) || (m < 0)) return "\xE2\x80\x93";  // "–"
  if (m < 1) return "under 1 min";
  double n = std::round(m);  // halves away from zero
  char buf[64];
  if (n < 60) {
    std::snprintf(buf, sizeof buf, "%.0f min", n);
  } else {
    double hours = std::floor(n / 60);
    double rest = n - hours * 60;
    if (rest == 0) {
      std::snprintf(buf, sizeof buf, "%.0f h", hours);
    } else {
      std::snprintf(buf, sizeof buf, "%.0f h %02.0f min", hours, rest);
    }
  }
  return buf;
}

std::string hours_text(double h) {
  if (std::isnan(h) || std::isinf(h) || h < 0) return "\xE2\x80\x93";
  if (h >= 99) return "99+ h";
  return minutes_text(h * 60);
}

}  // namespace vesk::cli
