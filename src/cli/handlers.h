// Command handlers, one file per group.
#pragma once

#include "cli/context.h"

namespace vesk::cli {

// help.cpp
std::string help_text();
Outcome cmd_help(Context& ctx, const Args& args);
Outcome cmd_version(Context& ctx, const Args& args);

// keep_awake.cpp
Json hold_payload(const Args& args);
Outcome cmd_status(Context& ctx, const Args& args);
Outcome cmd_on(Context& ctx, const Args& args);
Outcome cmd_auto(Context& ctx, const Args& args);
Outcome cmd_off(Context& ctx, const Args& args);
Outcome cmd_hold(Context& ctx, const Args& args);
Outcome cmd_release(Context& ctx, const Args& args);
Outcome cmd_wake_at(Context& ctx, const Args& args);
Outcome cmd_check_in(Context& ctx, const Args& args);
Outcome cmd_sleep(Context& ctx, const Args& args);

// configure.cpp
Outcome cmd_preset(Context& ctx, const Args& args);
Outcome cmd_rule(Context& ctx, const Args& args);
Outcome cmd_watch(Context& ctx, const Args& args);
Outcome cmd_set(Context& ctx, const Args& args);
Outcome cmd_settings(Context& ctx, const Args& args);
Outcome cmd_power(Context& ctx, const Args& args);
Outcome cmd_energy(Context& ctx, const Args& args);
Outcome cmd_config(Context& ctx, const Args& args);

// run.cpp
Outcome cmd_run(Context& ctx, const Args& args);

// agents_commands.cpp
Outcome cmd_connect(Context& ctx, const Args& args);
Outcome cmd_disconnect(Context& ctx, const Args& args);
Outcome cmd_mcp_setup(Context& ctx, const Args& args);
Outcome cmd_prompt(Context& ctx, const Args& args);

// completion.cpp
Outcome cmd_completion(Context& ctx, const Args& args);

// mcp_command.cpp
Outcome cmd_mcp(Context& ctx, const Args& args);
Outcome cmd_hook(Context& ctx, const Args& args);

// care_commands.cpp
Outcome cmd_doctor(Context& ctx, const Args& args);
Outcome cmd_rescue(Context& ctx, const Args& args);
Outcome cmd_install(Context& ctx, const Args& args);
Outcome cmd_uninstall(Context& ctx, const Args& args);

}  // namespace vesk::cli
