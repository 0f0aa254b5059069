#include "restore/power_watch.h"

#include <mutex>

#include "platform/session_watch.h"
#include "restore/put_back.h"

namespace vesk::restore {
namespace {

std::mutex target_mutex;
PowerWatchTarget target;  // under target_mutex

}  // namespace

PowerWatchTarget exchange_power_watch_target(PowerWatchTarget next) {
  std::lock_guard lock(target_mutex);
  std::swap(target, next);
  return next;
}

// On the watcher's thread, before its window procedure returns.
void power_watch_session_end() {
  PowerWatchTarget now;
  {
    std::lock_guard lock(target_mutex);
    now = target;
  }
  if (now.app_folder.empty()) return;
  // The session is ending: there is nobody to tell, and what stays recorded
  // is put back by the next run.
  (void)session_end_put_back(now.app_folder, now.power ? *now.power : platform::system_power());
}

void start_power_watch(const std::string& app_folder) {
  {
    std::lock_guard lock(target_mutex);
    if (target.app_folder.empty()) target.app_folder = app_folder;
  }
  // Started now or already running, it is all the same here; one that
  // couldn't start is tried again by the next call.
  (void)platform::start_session_watch(&power_watch_session_end);
}

}  // namespace vesk::restore
