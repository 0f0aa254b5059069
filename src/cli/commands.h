// The command table and dispatch.
#pragma once

#include <span>
#include <string_view>

#include "cli/context.h"

namespace vesk::cli {

using Handler = Outcome (*)(Context& ctx, const Args& args);

struct Command {
  std::span<const std::string_view> words;  // the names it answers to
  // Whether the arguments are enough; nullptr means any number is.
  bool (*enough)(const Args& args);
  std::string_view usage;  // printed as "vesk: <usage>" when not enough
  Handler handler;
  // Whether it fails without an app folder; those that don't still run
  // (`run` warns that it can't keep awake, through its request).
  bool needs_app_folder = true;
};

// The command for an exact, case-sensitive word; nullptr when unknown.
const Command* find_command(std::string_view word);

// Runs one command: `args` are the words after the command word, with every
// "--json" already removed. Writes the command's text through ctx.io and
// returns the exit status; failures are printed as "vesk: <message>".
int run_command(Context& ctx, std::string_view word, const Args& args);

}  // namespace vesk::cli
