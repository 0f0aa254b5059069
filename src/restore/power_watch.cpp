#include "restore/power_watch.h"

#include <mutex>

#include "platform/power.h"
#include "platform/session_watch.h"
#include "restore/put_back.h"

namespace vesk::restore {
namespace {

// Set once, before the watcher's thread can read it.
std::once_flag folder_once;
std::string watched_folder;

// On the watcher's thread, before its window procedure returns.
void on_session_end() { session_end_put_back(watched_folder, platform::system_power()); }

}  // namespace

void start_power_watch(const std::string& app_folder) {
  std::call_once(folder_once, [&] { watched_folder = app_folder; });
  (void)platform::start_session_watch(&on_session_end);
}

}  // namespace vesk::restore
