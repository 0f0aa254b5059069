// The program's entry: from the argument list to the exit status.
#pragma once

#include <string>
#include <vector>

#include "cli/context.h"

namespace vesk::cli {

// Removes every "--json" from `args`; true when there was one. For `run`,
// only those before the child's program word: from the first word after
// "run" that is not "--", the child's command line is kept as typed.
bool take_json_switch(std::vector<std::string>& args);

// Dispatches one command line (the arguments after the program name) with
// the given app folder, output and request path; returns the exit status.
// With `app_folder_error`, there is no app folder: the commands that need
// one fail with that message.
int run_cli(std::vector<std::string> args, const std::string& app_folder, Io& io,
            RequestFn request, LaunchFn launch = system_launcher(),
            std::string app_folder_error = {});

// The process entry: resolves the app folder, writes to the standard
// streams, talks to the tray app through the app folder. Never throws.
int main_entry(std::vector<std::string> args);

}  // namespace vesk::cli
