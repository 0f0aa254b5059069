#include "restore/power_watch.h"

#include "ipc/app_folder.h"
#include "platform/power.h"
#include "platform/session_watch.h"
#include "restore/put_back.h"

namespace vesk::restore {
namespace {

// On the watcher's thread, before its window procedure returns.
void on_session_end() {
  if (auto folder = ipc::app_folder()) session_end_put_back(*folder, platform::system_power());
}

}  // namespace

void start_power_watch() { (void)platform::start_session_watch(&on_session_end); }

}  // namespace vesk::restore
