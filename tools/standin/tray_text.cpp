#include "standin/tray_text.h"

#include "base/json.h"

#include <charconv>
#include <cmath>

namespace vesk::standin {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::optional<int64_t> parse_i64(std::string_view text) {
  int64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string shown(const Json& value) {
  if (value.is_string()) {
    // Built by appending: g++ 12 wrongly warns (-Wrestrict) on "\"" + text.
    std::string quoted = "\"";
    quoted += value.get<std::string>();
    quoted += '"';
    return quoted;
  }
  if (value.is_number_float()) {
    double d = value.get<double>();
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
      return std::to_string(static_cast<int64_t>(d));
    }
  }
  return compact_json(value);
}

std::string number_text(double value) {
  double rounded = std::round(value * 10) / 10;
  if (rounded == std::floor(rounded)) return std::to_string(static_cast<int64_t>(rounded));
  std::string text = std::to_string(rounded);
  return text.substr(0, text.find('.') + 2);
}

std::string app_key(std::string_view name) {
  std::string key = lower(trim(name));
  if (key.size() > 4 && key.ends_with(".exe")) key.resize(key.size() - 4);
  return key;
}

std::string one_line(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return text;
}

std::optional<int64_t> whole_number(const Json& value) {
  if (value.is_number_unsigned()) {
    if (value.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
    return static_cast<int64_t>(value.get<uint64_t>());
  }
  if (value.is_number_integer()) return value.get<int64_t>();
  if (value.is_number_float()) {
    double d = value.get<double>();
    if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
      return static_cast<int64_t>(d);
    }
  }
  return std::nullopt;
}

}  // namespace vesk::standin
