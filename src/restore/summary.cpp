#include "restore/summary.h"

#include "platform/fs.h"

namespace vesk::restore {
namespace {

std::string n(uint32_t value) { return std::to_string(value); }

}  // namespace

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
  // lid_scheme has no line of its own: it only says in which plan lid_action
  // was changed.
  if (record->lid_action) {
    lines.push_back("lid-close action set to Do nothing (was " + n(record->lid_action->ac) +
                    " plugged in, " + n(record->lid_action->dc) + " on battery)");
  }
  for (const LidMore& more : record->lid_more) {
    lines.push_back("lid-close action set to Do nothing in plan " + more.plan + " (was " +
                    n(more.ac) + " plugged in, " + n(more.dc) + " on battery)");
  }
  if (record->sleep_idle) {
    const auto& t = record->sleep_idle->timeouts;
    lines.push_back("sleep set to never in plan " + record->sleep_idle->plan + " (was after " +
                    n(t[0]) + " s plugged in, " + n(t[1]) + " s on battery; unattended " +
                    n(t[2]) + " s plugged in, " + n(t[3]) + " s on battery)");
  }
  if (record->boost_dc) {
    lines.push_back("processor boost on battery turned off in plan " + record->boost_dc->plan +
                    " (was " + n(record->boost_dc->value) + ")");
  }
  if (record->linux_tuned) lines.push_back("Linux power settings tuned by Vesk");
  return lines;
}

std::string unreadable_line(const std::string& path, const std::string& reason) {
  return path + " couldn't be read: " + reason;
}

std::vector<std::string> journal_summary(const std::string& app_folder) {
  auto touched = load_touched(app_folder);
  auto record = load_restore(app_folder);
  std::vector<std::string> lines =
      summary_lines(touched.value.value_or(std::vector<Touched>{}), record.value);
  if (touched.unreadable()) {
    lines.push_back(unreadable_line(platform::join_path(app_folder, kTouchedFile),
                                    unreadable_reason(touched)));
  }
  if (record.unreadable()) {
    lines.push_back(unreadable_line(platform::join_path(app_folder, kRestoreFile),
                                    unreadable_reason(record)));
  }
  return lines;
}

}  // namespace vesk::restore
