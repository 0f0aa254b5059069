// The tray's settings: what it keeps in its settings file, the file's text
// and how it reads back, and the values each catalogue setting takes.
//
// The settings file is written whole (a sibling file renamed over it, by
// Tray's commit), so a reader never sees half of it. The two safety rules
// hold for every request: battery_floor is only ever raised and heat_guard
// only ever turned on from here ("set" refuses the other way, which is the
// person's call in the Vesk menu).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/json_fwd.h"
#include "base/result.h"
#include "settings/catalogue.h"
#include "standin/settings_record.h"

namespace vesk::standin {

// A scheduled wake from sleep.
struct WakeAt {
  std::string time;               // "HH:MM"
  std::optional<double> minutes;  // how long to stay awake after it
};

// Everything the settings file keeps.
struct Stored {
  SettingsRecord settings;
  std::optional<uint64_t> mode_until;        // FILETIME: "always" then turns to "auto"
  std::map<std::string, std::string> rules;  // app key -> "leave", "slow" or "pause"
  std::vector<std::string> watch;            // apps as they were named
  std::optional<WakeAt> wake;
};

// The settings file's text for `stored`, and `stored` read back from it
// (what does not read keeps its default).
std::string stored_text(const Stored& stored);
Stored read_stored(std::string_view text);

// A value for a setting as a person types it ("on", "30", "balanced") or as
// a caller sends it (true, 30, null), made into the text the catalogue lists
// ("on", "30", "0"); an error names the problem.
Result<std::string> setting_text(const settings::SettingRow& row, const Json& value);

// Puts a setting's text, as setting_text gives it, into the record; a key
// that is not a setting changes nothing.
void store_setting(SettingsRecord& s, std::string_view key, const std::string& text);

// "H:MM" or "HH:MM" from 00:00 to 23:59, as "HH:MM"; nullopt for anything
// else.
std::optional<std::string> clock_time(std::string_view text);

}  // namespace vesk::standin
