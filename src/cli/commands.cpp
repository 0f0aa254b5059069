#include "cli/commands.h"

#include <array>

#include "cli/handlers.h"
#include "cli/text.h"

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
constexpr std::array<W, 1> kPrompt{"prompt"};
constexpr std::array<W, 1> kDoctor{"doctor"};
constexpr std::array<W, 1> kRescue{"rescue"};
constexpr std::array<W, 1> kInstall{"install"};
constexpr std::array<W, 1> kUninstall{"uninstall"};

const Command kCommands[] = {
    {kStatus, nullptr, "", cmd_status},
    {kHelp, nullptr, "", cmd_help, false},
    {kVersion, nullptr, "", cmd_version, false},
    {kOn, nullptr, "", cmd_on},
    {kAuto, nullptr, "", cmd_auto},
    {kOff, nullptr, "", cmd_off},
    {kHold, nullptr, "", cmd_hold},
    {kRelease, nullptr, "", cmd_release},
    {kWakeAt, at_least<1>, "usage: vesk wake-at HH:MM [minutes] | off", cmd_wake_at},
    {kCheckIn, at_least<1>, "usage: vesk check-in 0 | 15 | 30 | 60", cmd_check_in},
    {kSleep, nullptr, "", cmd_sleep},
    {kRun, run_enough, "usage: vesk run -- <command> [args…]", cmd_run, false},
    {kPreset, at_least<1>, "usage: vesk preset max_battery | balanced | full_speed", cmd_preset},
    {kRule, at_least<2>, "usage: vesk rule <app> leave | slow | pause | default", cmd_rule},
    {kWatch, watch_enough, "usage: vesk watch <app> [--remove]", cmd_watch},
    {kSet, set_enough, "usage: vesk set <key> <value>", cmd_set},
    {kSettings, nullptr, "", cmd_settings},
    {kPower, nullptr, "", cmd_power},
    {kEnergy, nullptr, "", cmd_energy},
    {kConfig, nullptr, "", cmd_config},
    {kMcp, nullptr, "", cmd_mcp},
    {kMcpSetup, nullptr, "", cmd_mcp_setup, false},
    {kConnect, nullptr, "", cmd_connect, false},
    {kPrompt, nullptr, "", cmd_prompt, false},
    {kDoctor, nullptr, "", cmd_doctor},
    {kRescue, nullptr, "", cmd_rescue},
    {kInstall, nullptr, "", cmd_install},
    {kUninstall, nullptr, "", cmd_uninstall},
};

}  // namespace

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
