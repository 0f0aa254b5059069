#include "platform/task_scheduler.h"

namespace vesk::platform {

Status delete_scheduled_task(const std::string&) { return {}; }

}  // namespace vesk::platform
