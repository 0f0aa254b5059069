#include <string_view>

#include "agents/catalogue.h"
#include "base/text.h"
#include "base/version.h"
#include "cli/handlers.h"
#include "cli/text.h"

namespace vesk::cli {

namespace {

struct HelpLine {
  std::string_view synopsis;  // empty: an empty line
  std::string_view description;  // empty: the synopsis alone, unpadded
};

// Stands for the line that lists the agents' words.
constexpr std::string_view kAgentsLine = "<agents>";

constexpr HelpLine kHelpLines[] = {
    {"vesk", "what Vesk is doing (add --json for machine-readable)"},
    {"vesk run -- <command…>", "keep awake while a command runs, then let it sleep"},
    {"vesk on [minutes | until 7]", "stay awake (for a while, or until 07:00)"},
    {"vesk auto", "stay awake only while an agent is working (default)"},
    {"vesk off", "never keep awake (holds from `run` and agents still work)"},
    {"vesk hold [minutes] [reason]", "keep awake until `vesk release` (or for N minutes)"},
    {"vesk release [id]", "end one hold, or all"},
    {"vesk wake-at HH:MM [minutes]", "wake from sleep then and stay awake a while (off cancels)"},
    {"vesk check-in 0|15|30|60",
     "while asleep with the lid shut, wake this often to pick up a wake from the phone"},
    {"vesk preset max_battery | balanced | full_speed", ""},
    {"vesk rule <app> leave | slow | pause | default", ""},
    {"vesk watch <app> [--remove]", "an app that keeps it awake while busy (blender, ffmpeg…)"},
    {"vesk set <key> <value>", "change any setting"},
    {"vesk settings", "every setting, its value, allowed values and what it does"},
    {"vesk power", "power use now and which setting would cut it"},
    {"vesk energy", "apps using the most CPU, and what closing the lid does to each"},
    {"vesk config", "where the settings file is"},
    {"vesk sleep", "let it sleep now (agents wait until the lid opens again)"},
    {"vesk mcp", "run as an MCP server (stdio) for Claude Code, Codex, Gemini…"},
    {"vesk mcp-setup", "print the commands that add Vesk to your agents"},
    {"vesk connect [agent | all]", "add Vesk's MCP server to an agent, or to every one found"},
    {"vesk disconnect agent | all", "take it out again"},
    {kAgentsLine, ""},
    {"vesk prompt", "the prompt that has your agent set Vesk up with you"},
    {"", ""},
    {"vesk doctor", "health check: what Vesk has changed, watchdog, journals"},
    {"vesk rescue", "put every app and setting Vesk changed back, even if the app is stuck"},
    {"vesk install", "register the watchdog (done automatically on first launch)"},
    {"vesk uninstall", "put everything back, then remove the watchdog and login item"},
};

constexpr size_t kSynopsisWidth = 30;
constexpr size_t kHelpWidth = 80;

}  // namespace

std::string help_text() {
  std::string text = "vesk: keep the laptop awake with the lid closed while work runs\n\n";
  for (const HelpLine& line : kHelpLines) {
    if (line.synopsis == kAgentsLine) {
      // The agents' words, wrapped under the descriptions.
      const std::string indent(2 + kSynopsisWidth, ' ');
      std::string row = indent;
      row += "agents:";
      for (std::string_view word : agents::agent_words()) {
        if (row.size() + word.size() + 2 > kHelpWidth) {
          text += row;
          text += "\n";
          row = indent;
          row += ' ';
        }
        row += ' ';
        row += word;
      }
      text += row;
    } else if (!line.synopsis.empty()) {
      text += "  ";
      if (line.description.empty()) {
        text += line.synopsis;
      } else {
        text += pad_right(line.synopsis, kSynopsisWidth);
        text += line.description;
      }
    }
    text += "\n";
  }
  return text;
}

Outcome cmd_help(Context& ctx, const Args&) {
  ctx.io.out(help_text());
  return kExitDone;
}

Outcome cmd_version(Context& ctx, const Args&) {
  ctx.io.out("vesk " + std::string(kVersion) + "\n");
  return kExitDone;
}

}  // namespace vesk::cli
