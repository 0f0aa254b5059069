// Command handlers, one file per group.
#pragma once

#include "cli/context.h"

namespace vesk::cli {

// help.cpp
std::string help_text();
Outcome cmd_help(Context& ctx, const Args& args);
Outcome cmd_version(Context& ctx, const Args& args);

// keep_awake.cpp
Outcome cmd_status(Context& ctx, const Args& args);
Outcome cmd_auto(Context& ctx, const Args& args);
Outcome cmd_off(Context& ctx, const Args& args);
Outcome cmd_sleep(Context& ctx, const Args& args);

// Commands whose work is still to come.
Outcome cmd_not_built(Context& ctx, const Args& args);

}  // namespace vesk::cli
