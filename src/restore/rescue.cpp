#include "restore/rescue.h"

#include <algorithm>

#include "restore/power_watch.h"
#include "restore/put_back.h"
#include "restore/summary.h"

namespace vesk::restore {

using platform::PowerApi;
using platform::ProcessControl;

RescueResult rescue(const std::string& app_folder, const std::function<bool()>& quit_tray_app,
                    PowerApi& power, ProcessControl& processes) {
  bool app_stopped = quit_tray_app();
  PutBack run = put_back(app_folder, power, processes);
  RescueResult rescued;
  rescued.app_stopped = app_stopped;
  rescued.pending = journal_summary(app_folder);
  for (std::string& problem : run.problems) {
    if (std::find(rescued.pending.begin(), rescued.pending.end(), problem) ==
        rescued.pending.end()) {
      rescued.pending.push_back(std::move(problem));
    }
  }
  rescued.set_aside = std::move(run.set_aside);
  // What a set-aside journal held is unknown: never "all back".
  rescued.all_back = run.result == PutBackResult::kRestored && rescued.pending.empty() &&
                     rescued.set_aside.empty();
  // Something is pending that no journal line explains: say where to look.
  if (run.result != PutBackResult::kRestored && rescued.pending.empty()) {
    rescued.pending.push_back("the journals in " + app_folder +
                              " still hold changes that couldn't be put back");
  }
  return rescued;
}

RescueResult rescue(const std::string& app_folder, const std::function<bool()>& quit_tray_app) {
  return rescue(app_folder, quit_tray_app, platform::system_power(), platform::system_processes());
}

void watch_session_end(const std::string& app_folder, PowerApi& power) {
  start_power_watch([app_folder, &power] {
    // The session is ending: there is nobody to tell, and what stays
    // recorded is put back by the next run.
    (void)session_end_put_back(app_folder, power);
  });
}

void watch_session_end(const std::string& app_folder) {
  watch_session_end(app_folder, platform::system_power());
}

}  // namespace vesk::restore
