#include "restore/summary.h"

namespace vesk::restore {

std::vector<std::string> summary_lines(const std::vector<Touched>& touched,
                                       const std::optional<Restore>& record) {
  std::vector<std::string> lines;
  for (const Touched& t : touched) {
    lines.push_back(std::string(t.paused ? "paused" : "slowed") + " " + t.exe + " (pid " +
                    std::to_string(t.pid) + ")");
  }
  if (!record) return lines;
  if (record->power_profile) {
    lines.push_back("power profile switched to power-saver (was " + *record->power_profile + ")");
  }
  if (record->power_overlay) {
    lines.push_back("power mode switched to best efficiency (was " + *record->power_overlay + ")");
  }
  if (record->lid_action) {
    lines.push_back("lid-close action set to Do nothing (was " +
                    std::to_string(record->lid_action->ac) + " plugged in, " +
                    std::to_string(record->lid_action->dc) + " on battery)");
  }
  return lines;
}

std::vector<std::string> journal_summary(const std::string& app_folder) {
  return summary_lines(read_touched(app_folder).value_or(std::vector<Touched>{}),
                       read_restore(app_folder));
}

}  // namespace vesk::restore
