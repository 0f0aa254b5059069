// The program's entry: from the argument list to the exit status.
#pragma once

#include <string>
#include <vector>

#include "cli/context.h"

namespace vesk::cli {

// Removes every "--json" from `args`; true when there was one.
bool take_json_switch(std::vector<std::string>& args);

// Dispatches one command line (the arguments after the program name) with
// the given app folder, output and request path; returns the exit status.
int run_cli(std::vector<std::string> args, const std::string& app_folder, Io& io,
            RequestFn request, LaunchFn launch = system_launcher());

// The process entry: resolves the app folder, writes to the standard
// streams, talks to the tray app through the app folder. Never throws.
int main_entry(std::vector<std::string> args);

}  // namespace vesk::cli
