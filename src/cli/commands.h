// The command table and dispatch.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/context.h"

namespace vesk::cli {

using Handler = Outcome (*)(Context& ctx, const Args& args);

// What a shell's tab completion offers for a command's arguments.
enum class ArgsComplete {
  kChoices,  // the fixed `choices` (none: nothing)
  kSetting,  // a setting key, then that key's allowed values
  kProgram,  // after "--", a program and its arguments, as the shell does
  kCommand,  // a command word (`help`'s argument)
};

// The fixed choices of one argument.
struct ArgChoices {
  size_t position;  // 0: the first argument after the command word
  std::span<const std::string_view> words;
  std::string_view after = {};  // offered only after this argument; empty: always
  std::string_view name = {};   // what `help <command>` calls it: "<preset>"
};

// What `vesk help <command>` says besides the table's own lists.
struct CommandHelp {
  // The usage lines, '\n' between; empty: the row's usage message.
  std::string_view usage;
  std::string_view about;     // one or two sentences on what it does
  std::string_view examples;  // command lines, '\n' between
};

struct Command {
  std::span<const std::string_view> words;  // the names it answers to
  // Whether the arguments are enough; nullptr means any number is.
  bool (*enough)(const Args& args);
  std::string_view usage;  // printed as "vesk: <usage>" when not enough
  Handler handler;
  // Whether it fails without an app folder; those that don't still run
  // (`run` warns that it can't keep awake, through its request).
  bool needs_app_folder = true;
  ArgsComplete completes = ArgsComplete::kChoices;
  std::span<const ArgChoices> choices = {};
  CommandHelp help = {};
};

// Every command, in the order `help` lists them.
std::span<const Command> commands();

// The command for an exact, case-sensitive word; nullptr when unknown.
const Command* find_command(std::string_view word);

// The first word of every command, in table order: what completion offers
// as a command word and what `help` takes.
std::vector<std::string_view> command_words();

// The message for a word that names no command.
std::string unknown_command(std::string_view word);

// The help of one command (help.cpp): its usage lines, what it does, the
// choices of its arguments as completion offers them, and examples.
std::string command_help(const Command& command);

// Runs one command: `args` are the words after the command word, with every
// "--json" already removed. Writes the command's text through ctx.io and
// returns the exit status; failures are printed as "vesk: <message>".
int run_command(Context& ctx, std::string_view word, const Args& args);

}  // namespace vesk::cli
