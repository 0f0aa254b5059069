// Small text and JSON helpers shared by the tray's files (tray.cpp,
// tray_settings.cpp, tray_reports.cpp): how the tray reads what a caller
// types and how it words numbers and values in its one-line statuses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/json_fwd.h"
#include "base/text.h"

namespace vesk::standin {

// ASCII letters lower-cased; other bytes unchanged.
std::string lower(std::string_view s);

// The whole text as a decimal integer (an optional leading '-'); nullopt
// for anything else, including an empty text.
std::optional<int64_t> parse_i64(std::string_view text);

// A value as a message shows it: strings in quotes, whole numbers without a
// fraction (20.0 -> 20), the rest as JSON.
std::string shown(const Json& value);

// To one decimal, the ".0" left off: 30 -> "30", 2.5 -> "2.5", 0.25 -> "0.3".
std::string number_text(double value);

// The name an app goes by for rules and the watch list: lower case, without
// a trailing ".exe", so "Chrome.exe" and "chrome" are one app.
std::string app_key(std::string_view name);

// Control characters (line breaks, tabs) become spaces: a status is one line.
std::string one_line(std::string text);

// A JSON number with no fraction (below 1e15 in size when it is a float),
// as an integer; nullopt for anything else.
std::optional<int64_t> whole_number(const Json& value);

}  // namespace vesk::standin
