#include <algorithm>
#include <string_view>
#include <vector>

#include "agents/catalogue.h"
#include "base/text.h"
#include "base/utf8.h"
#include "base/version.h"
#include "cli/commands.h"
#include "cli/handlers.h"
#include "cli/text.h"
#include "settings/catalogue.h"

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

// Help text is wrapped to this many columns.
constexpr size_t kHelpWidth = 79;

// The lines of `text` ('\n' between), each after `indent`.
std::string indented_lines(std::string_view text, std::string_view indent) {
  std::string out;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    out.append(indent).append(text.substr(0, end)).append("\n");
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return out;
}

// `words` after `line`, a space between each two (and a comma after each
// but the last when `commas`), wrapped at kHelpWidth with the next lines
// indented by `indent` spaces.
std::string wrapped(std::string line, const std::vector<std::string>& words, bool commas,
                    size_t indent) {
  std::string out;
  bool bare = true;  // no word on this line yet
  for (size_t i = 0; i < words.size(); ++i) {
    std::string piece = words[i];
    if (commas && i + 1 < words.size()) piece += ',';
    if (!bare && code_point_count(line) + 1 + code_point_count(piece) > kHelpWidth) {
      out += line + "\n";
      line = std::string(indent, ' ');
      bare = true;
    }
    if (!bare) line += ' ';
    line += piece;
    bare = false;
  }
  return out + line + "\n";
}

// A text split at its spaces.
std::vector<std::string> words_of(std::string_view text) {
  std::vector<std::string> words;
  for (size_t pos = 0; pos < text.size();) {
    const size_t end = std::min(text.find(' ', pos), text.size());
    if (end > pos) words.emplace_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return words;
}

std::vector<std::string> texts(std::span<const std::string_view> words) {
  return {words.begin(), words.end()};
}

// The choices section: each fixed list by the argument's name, and for
// `set` every key with the values it takes.
std::string choices_text(const Command& command) {
  std::string out;
  for (const ArgChoices& choices : command.choices) {
    std::string label = choices.name.empty() ? "argument " + std::to_string(choices.position + 1)
                                             : std::string(choices.name);
    if (!choices.after.empty()) label += " (after " + std::string(choices.after) + ")";
    out += wrapped("  " + label + ": ", texts(choices.words), true, 4);
  }
  if (command.completes == ArgsComplete::kCommand) {
    std::vector<std::string> words;
    for (std::string_view word : command_words()) words.emplace_back(word);
    out += wrapped("  <command>: ", words, true, 4);
  }
  if (command.completes == ArgsComplete::kSetting) {
    size_t width = 0;
    for (const settings::SettingRow& row : settings::catalogue()) {
      width = std::max(width, row.key.size() + 2);
    }
    for (const settings::SettingRow& row : settings::catalogue()) {
      std::vector<std::string> values = settings::allowed_texts(row);
      if (values.empty()) values.emplace_back("any text");
      out += wrapped("  " + pad_right(row.key, width), values, true, width + 2);
    }
  }
  if (out.empty()) return out;
  return std::string("Choices:\n").append(out);
}

}  // namespace

std::string command_help(const Command& command) {
  const CommandHelp& help = command.help;
  std::string_view usage = help.usage;
  if (usage.empty()) {
    usage = command.usage;
    if (usage.rfind("usage: ", 0) == 0) usage.remove_prefix(7);
  }
  // The first usage line after "usage: ", the others under it.
  std::string text = "usage: ";
  text += indented_lines(usage, "       ").substr(7);
  text += '\n';
  text += wrapped("", words_of(help.about), false, 0);
  const std::string choices = choices_text(command);
  if (!choices.empty()) text.append("\n").append(choices);
  if (!help.examples.empty()) {
    text.append("\nExamples:\n").append(indented_lines(help.examples, "  "));
  }
  return text;
}

std::string help_text() {
  std::string text = "vesk: keep the laptop awake with the lid closed while work runs\n\n";
  for (const HelpLine& line : kHelpLines) {
    if (line.synopsis == kAgentsLine) {
      // The agents' words, wrapped under the descriptions.
      std::vector<std::string> words;
      for (std::string_view word : agents::agent_words()) words.emplace_back(word);
      text += wrapped(std::string(2 + kSynopsisWidth, ' ') + "agents: ", words, false,
                      2 + kSynopsisWidth + 2);
      continue;
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

Outcome cmd_help(Context& ctx, const Args& args) {
  if (args.empty()) {
    ctx.io.out(help_text());
    return kExitDone;
  }
  const Command* command = find_command(args[0]);
  if (command == nullptr) return Error{unknown_command(args[0])};
  ctx.io.out(command_help(*command));
  return kExitDone;
}

Outcome cmd_version(Context& ctx, const Args&) {
  ctx.io.out("vesk " + std::string(vesk::kVersion) + "\n");
  return kExitDone;
}

}  // namespace vesk::cli
