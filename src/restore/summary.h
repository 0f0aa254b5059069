// What the journals still hold, as short lines for people: one per slowed
// or paused app, one per power change a person would recognise.
#pragma once

#include <string>
#include <vector>

#include "restore/journal.h"

namespace vesk::restore {

// Only reads. A missing journal gives no lines; one that is there but
// cannot be read gives one line naming it and the reason.
std::vector<std::string> journal_summary(const std::string& app_folder);

// "<path> couldn't be read: <reason>".
std::string unreadable_line(const std::string& path, const std::string& reason);

// The same from values already read.
std::vector<std::string> summary_lines(const std::vector<Touched>& touched,
                                       const std::optional<Restore>& record);

}  // namespace vesk::restore
