#include "restore/power_watch.h"

#include <mutex>

#include "platform/session_watch.h"

namespace vesk::restore {
namespace {

std::mutex work_mutex;
SessionEndWork work;  // under work_mutex

}  // namespace

// On the watcher's thread, before its window procedure returns.
void power_watch_session_end() {
  SessionEndWork now;
  {
    std::lock_guard lock(work_mutex);
    now = work;
  }
  if (now) now();
}

void start_power_watch(SessionEndWork on_session_end) {
  {
    std::lock_guard lock(work_mutex);
    work = std::move(on_session_end);
  }
  // Started now or already running, it is all the same here; one that
  // couldn't start is tried again by the next call.
  (void)platform::start_session_watch(&power_watch_session_end);
}

}  // namespace vesk::restore
