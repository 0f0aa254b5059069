#include "cli/commands.h"

#include <array>
#include <string>

#include "base/text.h"
#include "cli/agents_commands.h"
#include "cli/completion.h"
#include "cli/handlers.h"
#include "cli/text.h"
#include "cli/time_args.h"
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

// `set` needs a key and a value, or the lone key "ntfy_topic".
bool set_enough(const Args& args) {
  return args.size() >= 2 || (args.size() == 1 && args[0] == "ntfy_topic");
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

constexpr ArgChoices kOnChoices[] = {{0, kOnWords}, {1, kUntilHours, kOnWords[0]}};
constexpr ArgChoices kCheckInArg[] = {{0, kCheckInChoices}};
constexpr ArgChoices kPresetArg[] = {{0, kPresetNames}};
constexpr ArgChoices kRuleArg[] = {{1, kRuleActions}};
const ArgChoices kConnectArg[] = {{0, agent_targets()}};
constexpr ArgChoices kCompletionArg[] = {{0, kShells}};

using enum ArgsComplete;

const Command kCommands[] = {
    {kStatus, nullptr, "", cmd_status},
    {kHelp, nullptr, "", cmd_help, false},
    {kVersion, nullptr, "", cmd_version, false},
    {kOn, nullptr, "", cmd_on, true, kChoices, kOnChoices},
    {kAuto, nullptr, "", cmd_auto},
    {kOff, nullptr, "", cmd_off},
    {kHold, nullptr, "", cmd_hold},
    {kRelease, nullptr, "", cmd_release},
    {kWakeAt, at_least<1>, "usage: vesk wake-at HH:MM [minutes] | off", cmd_wake_at},
    {kCheckIn, at_least<1>, kCheckInUsage, cmd_check_in, true, kChoices, kCheckInArg},
    {kSleep, nullptr, "", cmd_sleep},
    {kRun, run_enough, "usage: vesk run -- <command> [args…]", cmd_run, false, kProgram},
    {kPreset, at_least<1>, kPresetUsage, cmd_preset, true, kChoices, kPresetArg},
    {kRule, at_least<2>, kRuleUsage, cmd_rule, true, kChoices, kRuleArg},
    {kWatch, watch_enough, "usage: vesk watch <app> [--remove]", cmd_watch},
    {kSet, set_enough, "usage: vesk set <key> <value>", cmd_set, true, kSetting},
    {kSettings, nullptr, "", cmd_settings},
    {kPower, nullptr, "", cmd_power},
    {kEnergy, nullptr, "", cmd_energy},
    {kConfig, nullptr, "", cmd_config},
    {kMcp, nullptr, "", cmd_mcp},
    {kMcpSetup, nullptr, "", cmd_mcp_setup, false},
    {kConnect, nullptr, "", cmd_connect, false, kChoices, kConnectArg},
    {kDisconnect, at_least<1>, kDisconnectUsage, cmd_disconnect, false, kChoices, kConnectArg},
    {kPrompt, nullptr, "", cmd_prompt, false},
    {kDoctor, nullptr, "", cmd_doctor},
    {kRescue, nullptr, "", cmd_rescue},
    {kInstall, nullptr, "", cmd_install},
    {kUninstall, nullptr, "", cmd_uninstall},
    {kCompletion, shell_enough, kCompletionUsage, cmd_completion, false, kChoices, kCompletionArg},
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

int run_command(Context& ctx, std::string_view word, const Args& args) {
  auto fail = [&](std::string_view message) {
    ctx.io.err("vesk: " + std::string(message) + "\n");
    return kExitFailed;
  };
  const Command* command = find_command(word);
  if (command == nullptr) {
    return fail("unknown command " + quote_word(word) + ". Try `vesk help`.");
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
