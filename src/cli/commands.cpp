#include "cli/commands.h"

#include <array>
#include <string>

#include "base/text.h"
#include "cli/agents_commands.h"
#include "cli/completion.h"
#include "cli/handlers.h"
#include "cli/text.h"
#include "cli/time_args.h"
#include "hooks/events.h"
#include "settings/catalogue.h"

namespace vesk::cli {

namespace {

template <size_t N>
bool at_least(const Args& args) {
  return args.size() >= N;
}

// `run` needs a program after its leading "--" words.
bool run_enough(const Args& args) {
  for (const auto& a : args) {
    if (a != "--") return true;
  }
  return false;
}

// `watch` needs an app: an argument that does not begin with "--".
bool watch_enough(const Args& args) {
  for (const auto& a : args) {
    if (a.rfind("--", 0) != 0) return true;
  }
  return false;
}

// `set` needs a key and a value, or the lone key of a text setting (sent
// with the empty text, which clears it).
bool set_enough(const Args& args) {
  if (args.size() >= 2) return true;
  if (args.size() != 1) return false;
  const settings::SettingRow* row = settings::find_setting(args[0]);
  return row != nullptr && row->kind == settings::SettingKind::kString;
}

using W = std::string_view;

// `completion` needs a shell it has a script for.
bool shell_enough(const Args& args) {
  if (args.empty()) return false;
  for (W shell : kShells) {
    if (args[0] == shell) return true;
  }
  return false;
}
constexpr std::array<W, 1> kStatus{"status"};
constexpr std::array<W, 3> kHelp{"help", "-h", "--help"};
constexpr std::array<W, 3> kVersion{"version", "-V", "--version"};
constexpr std::array<W, 1> kOn{"on"};
constexpr std::array<W, 1> kAuto{"auto"};
constexpr std::array<W, 1> kOff{"off"};
constexpr std::array<W, 1> kHold{"hold"};
constexpr std::array<W, 1> kRelease{"release"};
constexpr std::array<W, 2> kWakeAt{"wake-at", "wake_at"};
constexpr std::array<W, 2> kCheckIn{"check-in", "check_in"};
constexpr std::array<W, 1> kSleep{"sleep"};
constexpr std::array<W, 1> kRun{"run"};
constexpr std::array<W, 1> kPreset{"preset"};
constexpr std::array<W, 1> kRule{"rule"};
constexpr std::array<W, 1> kWatch{"watch"};
constexpr std::array<W, 1> kSet{"set"};
constexpr std::array<W, 2> kSettings{"settings", "schema"};
constexpr std::array<W, 1> kPower{"power"};
constexpr std::array<W, 1> kEnergy{"energy"};
constexpr std::array<W, 1> kConfig{"config"};
constexpr std::array<W, 1> kMcp{"mcp"};
constexpr std::array<W, 1> kHook{"hook"};
constexpr std::array<W, 1> kMcpSetup{"mcp-setup"};
constexpr std::array<W, 1> kConnect{"connect"};
constexpr std::array<W, 1> kDisconnect{"disconnect"};
constexpr std::array<W, 1> kPrompt{"prompt"};
constexpr std::array<W, 1> kDoctor{"doctor"};
constexpr std::array<W, 1> kRescue{"rescue"};
constexpr std::array<W, 1> kInstall{"install"};
constexpr std::array<W, 1> kUninstall{"uninstall"};
constexpr std::array<W, 1> kCompletion{"completion"};

// "<head> a | b | c": a usage line that lists an argument's choices.
std::string choices_usage(std::string_view head, std::span<const W> choices) {
  return std::string(head) + " " + join_words(choices, " | ");
}

using settings::kCheckInChoices;
using settings::kPresetNames;
using settings::kRuleActions;

const std::string kCheckInUsage = choices_usage("usage: vesk check-in", kCheckInChoices);
const std::string kPresetUsage = choices_usage("usage: vesk preset", kPresetNames);
const std::string kRuleUsage = choices_usage("usage: vesk rule <app>", kRuleActions);
const std::string kCompletionUsage = choices_usage("usage: vesk completion", kShells);
const std::string kDisconnectUsage = choices_usage("usage: vesk disconnect", agent_targets());

constexpr ArgChoices kOnChoices[] = {{0, kOnWords, {}, "instead of <minutes>"},
                                     {1, kUntilHours, kOnWords[0], "<hour>"}};
constexpr ArgChoices kCheckInArg[] = {{0, kCheckInChoices, {}, "<minutes>"}};
constexpr ArgChoices kPresetArg[] = {{0, kPresetNames, {}, "<preset>"}};
constexpr ArgChoices kRuleArg[] = {{1, kRuleActions, {}, "<rule>"}};
const ArgChoices kConnectArg[] = {{0, agent_targets(), {}, "<agent>"}};
const ArgChoices kHookArg[] = {{0, hooks::hook_agent_words(), {}, "<agent>"}};
constexpr ArgChoices kCompletionArg[] = {{0, kShells, {}, "<shell>"}};

using enum ArgsComplete;

// Each row's help: usage lines (none: the row's usage message), what the
// command does, and examples. The choices come from the row's lists.
const Command kCommands[] = {
    {kStatus, nullptr, "", cmd_status, true, kChoices, {},
     {"vesk\nvesk status",
      "Shows what Vesk is doing: the keep-awake mode, holds, and what happens while the lid "
      "is closed. With --json, prints the tray app's whole reply as JSON.",
      "vesk\nvesk status --json"}},
    {kHelp, nullptr, "", cmd_help, false, kCommand, {},
     {"vesk help [<command>]\nvesk <command> --help",
      "Lists every command, or shows the help of one command.", "vesk help\nvesk help run"}},
    {kVersion, nullptr, "", cmd_version, false, kChoices, {},
     {"vesk version", "Prints this program's version.", "vesk version\nvesk --version"}},
    {kOn, nullptr, "", cmd_on, true, kChoices, kOnChoices,
     {"vesk on\nvesk on <minutes>\nvesk on until <hour>",
      "Keeps the laptop awake: until `vesk auto` or `vesk off`, for a number of minutes, or "
      "until the clock next shows that hour or time (7, 07:00, 7:45).",
      "vesk on 90\nvesk on until 7\nvesk on until 7:45"}},
    {kAuto, nullptr, "", cmd_auto, true, kChoices, {},
     {"vesk auto",
      "Keeps the laptop awake only while an agent or a watched app is working. This is the "
      "default mode.",
      "vesk auto"}},
    {kOff, nullptr, "", cmd_off, true, kChoices, {},
     {"vesk off",
      "Never keeps the laptop awake on its own; holds from `vesk run` and from agents still "
      "work.",
      "vesk off"}},
    {kHold, nullptr, "", cmd_hold, true, kChoices, {},
     {"vesk hold [<minutes>] [<reason>…]\nvesk hold --pid <pid> [<minutes>] [<reason>…]",
      "Keeps the laptop awake until `vesk release`, or for a number of minutes; with --pid, "
      "while that process runs. The reason shows in `vesk` while the hold lasts.",
      "vesk hold\nvesk hold 60 nightly build\nvesk hold --pid 4242 render"}},
    {kRelease, nullptr, "", cmd_release, true, kChoices, {},
     {"vesk release [<id>]", "Ends the hold with that id, or every hold when no id is given.",
      "vesk release\nvesk release 3"}},
    {kWakeAt, at_least<1>, "usage: vesk wake-at HH:MM [minutes] | off", cmd_wake_at, true,
     kChoices, {},
     {"",
      "Wakes the laptop from sleep at that time and keeps it awake for a while (minutes); "
      "off cancels the wake.",
      "vesk wake-at 6:30 20\nvesk wake-at off"}},
    {kCheckIn, at_least<1>, kCheckInUsage, cmd_check_in, true, kChoices, kCheckInArg,
     {"",
      "While the laptop sleeps with the lid shut, wakes it this often (in minutes) to pick up "
      "a wake sent from the phone; 0 turns it off.",
      "vesk check-in 30\nvesk check-in 0"}},
    {kSleep, nullptr, "", cmd_sleep, true, kChoices, {},
     {"vesk sleep", "Lets the laptop sleep now; agents wait until the lid opens again.",
      "vesk sleep"}},
    {kRun, run_enough, "usage: vesk run -- <command> [args…]", cmd_run, false, kProgram, {},
     {"",
      "Keeps the laptop awake while the command runs, then lets it sleep, and exits with the "
      "command's exit status. Everything after -- belongs to the command.",
      "vesk run -- make -j8\nvesk run -- npm test -- --watch=false"}},
    {kPreset, at_least<1>, kPresetUsage, cmd_preset, true, kChoices, kPresetArg,
     {"",
      "Chooses what happens to other apps while the lid is closed: max_battery pauses or slows "
      "them, balanced slows them, full_speed leaves them.",
      "vesk preset balanced"}},
    {kRule, at_least<2>, kRuleUsage, cmd_rule, true, kChoices, kRuleArg,
     {"",
      "Sets what happens to one app while the lid is closed; default goes back to the "
      "preset's choice.",
      "vesk rule chrome slow\nvesk rule spotify leave"}},
    {kWatch, watch_enough, "usage: vesk watch <app> [--remove]", cmd_watch, true, kChoices, {},
     {"",
      "Adds an app that keeps the laptop awake while it is busy, or takes it off the list "
      "with --remove.",
      "vesk watch blender\nvesk watch ffmpeg --remove"}},
    {kSet, set_enough, "usage: vesk set <key> <value>", cmd_set, true, kSetting, {},
     {"", "Changes one setting; `vesk settings` shows each with its value and what it does.",
      "vesk set low_power off\nvesk set battery_floor 20"}},
    {kSettings, nullptr, "", cmd_settings, true, kChoices, {},
     {"vesk settings", "Lists every setting with its value, its allowed values and what it does.",
      "vesk settings"}},
    {kPower, nullptr, "", cmd_power, true, kChoices, {},
     {"vesk power", "Shows the power use now and which setting would cut it.", "vesk power"}},
    {kEnergy, nullptr, "", cmd_energy, true, kChoices, {},
     {"vesk energy", "Lists the apps using the most CPU and what closing the lid does to each.",
      "vesk energy"}},
    {kConfig, nullptr, "", cmd_config, true, kChoices, {},
     {"vesk config", "Shows where the settings file is.", "vesk config"}},
    {kMcp, nullptr, "", cmd_mcp, true, kChoices, {},
     {"vesk mcp",
      "Serves Vesk to AI agents as an MCP server over standard input and output. Agents start "
      "it themselves; `vesk connect` or `vesk mcp-setup` sets that up.",
      "vesk mcp"}},
    {kHook, nullptr, "", cmd_hook, false, kChoices, kHookArg,
     {"vesk hook <agent> [<event>]",
      "What an agent's lifecycle hooks run (`vesk connect` puts them there): the laptop is "
      "kept awake while the agent works on a turn, and let go when the turn ends, the agent "
      "exits, or after 15 quiet minutes. It reads the agent's event on standard input and "
      "never prints anything.",
      "vesk hook claude UserPromptSubmit"}},
    {kMcpSetup, nullptr, "", cmd_mcp_setup, false, kChoices, {},
     {"vesk mcp-setup", "Prints the commands that add Vesk's MCP server to your agents.",
      "vesk mcp-setup"}},
    {kConnect, nullptr, "", cmd_connect, false, kChoices, kConnectArg,
     {"vesk connect [--no-hooks] [<agent> | all]",
      "Adds Vesk's MCP server to an agent's settings, creating the file when needed; with no "
      "agent (or all), to every agent found here. Also adds the agent's lifecycle hooks, which "
      "keep the laptop awake while it works on a turn and let it sleep when the turn ends "
      "(--no-hooks: the MCP server only). Other entries, your own hooks, comments and layout "
      "stay as they were, and a backup of each changed file is kept.",
      "vesk connect\nvesk connect gemini\nvesk connect --no-hooks cursor"}},
    {kDisconnect, at_least<1>, kDisconnectUsage, cmd_disconnect, false, kChoices, kConnectArg,
     {"",
      "Takes Vesk's MCP server and hooks out of an agent's settings, or out of every agent "
      "that has them (all). Only Vesk's entries change, and a backup of each changed file is "
      "kept.",
      "vesk disconnect cursor\nvesk disconnect all"}},
    {kPrompt, nullptr, "", cmd_prompt, false, kChoices, {},
     {"vesk prompt", "Prints the prompt that has your agent set Vesk up with you.",
      "vesk prompt"}},
    {kDoctor, nullptr, "", cmd_doctor, true, kChoices, {},
     {"vesk doctor",
      "Health check: what Vesk has changed and not yet put back, the watchdog and the "
      "journals.",
      "vesk doctor"}},
    {kRescue, nullptr, "", cmd_rescue, true, kChoices, {},
     {"vesk rescue",
      "Puts every app and setting that Vesk changed back, even when the tray app is stuck or "
      "gone.",
      "vesk rescue"}},
    {kInstall, nullptr, "", cmd_install, true, kChoices, {},
     {"vesk install",
      "Registers the watchdog, a scheduled task that puts back what Vesk changed if the tray "
      "app dies; the tray app does this on its first launch.",
      "vesk install"}},
    {kUninstall, nullptr, "", cmd_uninstall, true, kChoices, {},
     {"vesk uninstall",
      "Puts everything back, then removes the watchdog and the login item; nothing is removed "
      "while a change is still pending.",
      "vesk uninstall"}},
    {kCompletion, shell_enough, kCompletionUsage, cmd_completion, false, kChoices, kCompletionArg,
     {"", "Prints the tab completion script for a shell.",
      "source <(vesk completion bash)\nvesk completion powershell | Out-String | "
      "Invoke-Expression"}},
};

}  // namespace

std::span<const Command> commands() { return kCommands; }

const Command* find_command(std::string_view word) {
  for (const Command& command : kCommands) {
    for (std::string_view name : command.words) {
      if (name == word) return &command;
    }
  }
  return nullptr;
}

std::vector<std::string_view> command_words() {
  std::vector<std::string_view> words;
  for (const Command& command : kCommands) words.push_back(command.words.front());
  return words;
}

std::string unknown_command(std::string_view word) {
  return "unknown command " + quote_word(word) + ". Try `vesk help`.";
}

int run_command(Context& ctx, std::string_view word, const Args& args) {
  auto fail = [&](std::string_view message) {
    ctx.io.err("vesk: " + std::string(message) + "\n");
    return kExitFailed;
  };
  const Command* command = find_command(word);
  if (command == nullptr) {
    return fail(unknown_command(word));
  }
  // "<command> --help" (or -h) as its first argument; `run -- --help` runs
  // a program named "--help".
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    ctx.io.out(command_help(*command));
    return kExitDone;
  }
  if (command->enough != nullptr && !command->enough(args)) return fail(command->usage);
  if (command->needs_app_folder && !ctx.app_folder_error.empty()) {
    return fail(ctx.app_folder_error);
  }
  Outcome outcome = command->handler(ctx, args);
  if (!outcome) return fail(outcome.message());
  return *outcome;
}

}  // namespace vesk::cli
