// The current user's scheduled tasks, reached through the Task Scheduler
// itself rather than its command-line tool.
#pragma once

#include <string>

#include "base/result.h"

namespace vesk::platform {

// Deletes the task of this name from the scheduler's root folder, asking
// the scheduler itself; succeeds when the task is gone afterwards, also
// when it was not there. Outside Windows there is no scheduler and this
// succeeds doing nothing.
Status delete_scheduled_task(const std::string& name);

}  // namespace vesk::platform
