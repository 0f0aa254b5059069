#include "cli/entry.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/handlers.h"
#include "settings/catalogue.h"
#include "cli_fake.h"

namespace vesk::cli {
namespace {

using testing::Cli;

const char kHelp[] =
    "vesk: keep the laptop awake with the lid closed while work runs\n"
    "\n"
    "  vesk                          what Vesk is doing (add --json for machine-readable)\n"
    "  vesk run -- <command…>        keep awake while a command runs, then let it sleep\n"
    "  vesk on [minutes | until 7]   stay awake (for a while, or until 07:00)\n"
    "  vesk auto                     stay awake only while an agent is working (default)\n"
    "  vesk off                      never keep awake (holds from `run` and agents still work)\n"
    "  vesk hold [minutes] [reason]  keep awake until `vesk release` (or for N minutes)\n"
    "  vesk release [id]             end one hold, or all\n"
    "  vesk wake-at HH:MM [minutes]  wake from sleep then and stay awake a while (off cancels)\n"
    "  vesk check-in 0|15|30|60      while asleep with the lid shut, wake this often to pick up a wake from the phone\n"
    "  vesk preset max_battery | balanced | full_speed\n"
    "  vesk rule <app> leave | slow | pause | default\n"
    "  vesk watch <app> [--remove]   an app that keeps it awake while busy (blender, ffmpeg…)\n"
    "  vesk set <key> <value>        change any setting\n"
    "  vesk settings                 every setting, its value, allowed values and what it does\n"
    "  vesk power                    power use now and which setting would cut it\n"
    "  vesk energy                   apps using the most CPU, and what closing the lid does to each\n"
    "  vesk config                   where the settings file is\n"
    "  vesk sleep                    let it sleep now (agents wait until the lid opens again)\n"
    "  vesk mcp                      run as an MCP server (stdio) for Claude Code, Codex, Gemini…\n"
    "  vesk mcp-setup                print the commands that add Vesk to your agents\n"
    "  vesk connect [agent | all]    add Vesk's MCP server to an agent, or to every one found\n"
    "  vesk disconnect agent | all   take it out again\n"
    "                                agents: claude codex gemini qwen copilot\n"
    "                                  opencode kilo cline cursor windsurf vscode\n"
    "                                  claude-desktop\n"
    "  vesk prompt                   the prompt that has your agent set Vesk up with you\n"
    "\n"
    "  vesk doctor                   health check: what Vesk has changed, watchdog, journals\n"
    "  vesk rescue                   put every app and setting Vesk changed back, even if the app is stuck\n"
    "  vesk install                  register the watchdog (done automatically on first launch)\n"
    "  vesk uninstall                put everything back, then remove the watchdog and login item\n";

TEST(Entry, HelpAndVersionByteForByte) {
  Cli cli;
  for (auto args : std::vector<std::vector<std::string>>{
           {"help"}, {"-h"}, {"--help"}, {"--json", "help"}}) {
    EXPECT_EQ(cli.run(args), 0);
    EXPECT_EQ(cli.io.out_, kHelp);
    EXPECT_EQ(cli.io.err_, "");
  }
  for (auto args : std::vector<std::vector<std::string>>{{"version"}, {"-V"}, {"--version"}}) {
    EXPECT_EQ(cli.run(args), 0);
    EXPECT_EQ(cli.io.out_, "vesk 1.0.0\n");
  }
  EXPECT_TRUE(cli.sent.empty());
}

// Every command's help, asked for either way (with --json, which changes
// nothing, and without an app folder), names every choice that completion
// offers for its arguments.
TEST(Entry, EachCommandHasItsHelp) {
  auto run = [](std::vector<std::string> args, testing::RecordingIo& io) {
    // No request function: asking the tray app would throw.
    return run_cli(std::move(args), "", io, nullptr, nullptr, "no app folder");
  };
  for (const Command& command : commands()) {
    const std::string word(command.words.front());
    testing::RecordingIo io;
    ASSERT_EQ(run({"help", word}, io), 0) << word;
    const std::string help = io.out_;
    EXPECT_EQ(io.err_, "") << word;
    for (std::string_view name : command.words) {
      for (const char* flag : {"--help", "-h"}) {
        testing::RecordingIo again;
        EXPECT_EQ(run({"--json", std::string(name), flag, "x"}, again), 0) << name << flag;
        EXPECT_EQ(again.out_, help) << name << flag;
        EXPECT_EQ(again.err_, "") << name << flag;
      }
    }
    EXPECT_EQ(help.rfind("usage: vesk", 0), 0u) << help;
    EXPECT_FALSE(command.help.about.empty()) << word;
    EXPECT_NE(help.find("\n\nExamples:\n  "), std::string::npos) << help;

    std::vector<std::string> choices;
    for (const ArgChoices& list : command.choices) {
      choices.insert(choices.end(), list.words.begin(), list.words.end());
    }
    if (command.completes == ArgsComplete::kCommand) {
      for (std::string_view w : command_words()) choices.emplace_back(w);
    }
    if (command.completes == ArgsComplete::kSetting) {
      for (const settings::SettingRow& row : settings::catalogue()) {
        choices.emplace_back(row.key);
        for (const std::string& value : settings::allowed_texts(row)) choices.push_back(value);
      }
    }
    const size_t listed = help.find("\nChoices:\n");
    EXPECT_EQ(listed == std::string::npos, choices.empty()) << help;
    for (const std::string& choice : choices) {
      // A whole word of the choices section.
      const std::string section = help.substr(std::min(listed, help.size()));
      bool found = false;
      for (const char* after : {",", " ", "\n"}) {
        found = found || section.find(" " + choice + after) != std::string::npos;
      }
      EXPECT_TRUE(found) << word << ": " << choice;
    }
  }
  testing::RecordingIo io;
  EXPECT_EQ(run({"help", "HELP", "run"}, io), 2);
  EXPECT_EQ(io.out_, "");
  EXPECT_EQ(io.err_, "vesk: unknown command \"HELP\". Try `vesk help`.\n");
}

// The help text is written out by hand; its choices are the tables'.
TEST(Entry, HelpListsTheTablesChoices) {
  const std::string lines[] = {
      "vesk check-in " + join_words(settings::kCheckInChoices, "|") + " ",
      "vesk preset " + join_words(settings::kPresetNames, " | ") + "\n",
      "vesk rule <app> " + join_words(settings::kRuleActions, " | ") + "\n",
  };
  for (const std::string& line : lines) EXPECT_NE(help_text().find(line), std::string::npos) << line;
}

TEST(Entry, UnknownCommandsAreQuoted) {
  const std::pair<std::string, std::string> rows[] = {
      {"HELP", "vesk: unknown command \"HELP\". Try `vesk help`.\n"},
      {"Status", "vesk: unknown command \"Status\". Try `vesk help`.\n"},
      {"watchdog", "vesk: unknown command \"watchdog\". Try `vesk help`.\n"},
      {"a\"b\n", "vesk: unknown command \"a\\\"b\\n\". Try `vesk help`.\n"},
      {"", "vesk: unknown command \"\". Try `vesk help`.\n"},
  };
  for (const auto& [word, message] : rows) {
    Cli cli;
    EXPECT_EQ(cli.run({word}), 2);
    EXPECT_EQ(cli.io.out_, "");
    EXPECT_EQ(cli.io.err_, message);
    EXPECT_TRUE(cli.sent.empty());
  }
}

TEST(Entry, TooFewArgumentsPrintUsage) {
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"preset"}, "usage: vesk preset max_battery | balanced | full_speed"},
      {{"rule", "chrome"}, "usage: vesk rule <app> leave | slow | pause | default"},
      {{"set", "mode"}, "usage: vesk set <key> <value>"},
      {{"set", "battery_floor"}, "usage: vesk set <key> <value>"},
      {{"set", "low_power"}, "usage: vesk set <key> <value>"},
      {{"set", "no_such_key"}, "usage: vesk set <key> <value>"},
      {{"set", "NTFY_TOPIC"}, "usage: vesk set <key> <value>"},
      {{"set"}, "usage: vesk set <key> <value>"},
      {{"watch"}, "usage: vesk watch <app> [--remove]"},
      {{"watch", "--remove"}, "usage: vesk watch <app> [--remove]"},
      {{"wake-at"}, "usage: vesk wake-at HH:MM [minutes] | off"},
      {{"wake_at"}, "usage: vesk wake-at HH:MM [minutes] | off"},
      {{"check-in"}, "usage: vesk check-in 0 | 15 | 30 | 60"},
      {{"check_in", "--json"}, "usage: vesk check-in 0 | 15 | 30 | 60"},
      {{"run"}, "usage: vesk run -- <command> [args…]"},
      {{"run", "--", "--"}, "usage: vesk run -- <command> [args…]"},
      {{"run", "--json", "--"}, "usage: vesk run -- <command> [args…]"},
      {{"completion"}, "usage: vesk completion bash | zsh | powershell"},
      {{"completion", "fish"}, "usage: vesk completion bash | zsh | powershell"},
      {{"completion", "Bash"}, "usage: vesk completion bash | zsh | powershell"},
  };
  for (const auto& [args, usage] : rows) {
    Cli cli;
    EXPECT_EQ(cli.run(args), 2) << args[0];
    EXPECT_EQ(cli.io.err_, "vesk: " + usage + "\n");
    EXPECT_EQ(cli.io.out_, "");
    EXPECT_TRUE(cli.sent.empty());
  }
}

TEST(Entry, JsonSwitchIsTheProgramsOwnUpToRunsChild) {
  using Words = std::vector<std::string>;
  const std::pair<Words, Words> rows[] = {
      {{"--json", "status", "--json"}, {"status"}},
      {{"hold", "--json", "30", "x"}, {"hold", "30", "x"}},
      {{"--json", "run", "--", "tool", "--json", "--JSON"}, {"run", "--", "tool", "--json", "--JSON"}},
      {{"run", "--json", "--", "--json", "--", "gh", "--json", "title"},
       {"run", "--", "--", "gh", "--json", "title"}},
      {{"status", "run", "--json"}, {"status", "run"}},
  };
  for (const auto& [given, kept] : rows) {
    Words args = given;
    EXPECT_TRUE(take_json_switch(args));
    EXPECT_EQ(args, kept);
  }
  for (Words args : {Words{"run", "--", "tool", "--json"}, Words{"run", "tool", "--json"}}) {
    const Words given = args;
    EXPECT_FALSE(take_json_switch(args));
    EXPECT_EQ(args, given);
  }
}

TEST(Entry, NoWordMeansStatus) {
  for (auto args : std::vector<std::vector<std::string>>{
           {}, {"status"}, {"--json"}, {"--json", "--json"}, {"status", "--json"}}) {
    Cli cli;
    cli.replies.push_back(Json{{"ok", true}, {"status", "Awake."}});
    EXPECT_EQ(cli.run(args), 0);
    ASSERT_EQ(cli.sent.size(), 1u);
    EXPECT_EQ(cli.sent[0].kind, "status");
    EXPECT_EQ(cli.sent[0].payload, Json::object());
    EXPECT_EQ(cli.sent[0].wait, 10u);
  }
}

TEST(AskApp, RendersRepliesAndExitStatus) {
  struct Row {
    Json reply;
    bool json;
    std::string out;
    int status;
  };
  const Row rows[] = {
      {{{"ok", false}, {"error", "x"}}, false, "x\n", 1},
      {{{"ok", true}}, false, "Done\n", 0},
      {Json::object(), false, "Done\n", 0},
      {{{"status", "S"}}, false, "S\n", 0},
      {{{"ok", "no"}, {"status", "S"}}, false, "S\n", 0},  // "ok" must be a boolean
      {{{"ok", true}, {"error", "e"}, {"status", "S"}}, false, "e\n", 0},
      {{{"error", 5}, {"status", "S"}}, false, "S\n", 0},  // "error" must be a string
      {{{"ok", false}}, false, "Done\n", 1},
      {{{"ok", false}, {"error", "x"}}, true, "{\n  \"error\": \"x\",\n  \"ok\": false\n}\n", 1},
      {{{"z", 1}, {"a", {1, 2}}}, true, "{\n  \"a\": [\n    1,\n    2\n  ],\n  \"z\": 1\n}\n", 0},
      {Json(true), false, "Done\n", 0},
      {Json(true), true, "true\n", 0},
  };
  for (const Row& row : rows) {
    Cli cli;
    cli.replies.push_back(row.reply);
    std::vector<std::string> args{"auto"};
    if (row.json) args.push_back("--json");
    EXPECT_EQ(cli.run(args), row.status) << row.reply.dump();
    EXPECT_EQ(cli.io.out_, row.out) << row.reply.dump();
    EXPECT_EQ(cli.io.err_, "");
    ASSERT_EQ(cli.sent.size(), 1u);
    EXPECT_EQ(cli.sent[0].kind, "mode");
    EXPECT_EQ(cli.sent[0].payload, (Json{{"mode", "auto"}}));
  }
}

TEST(AskApp, LinkFailureIsOneLineOnStandardError) {
  Cli cli;
  cli.replies.push_back(Error{"Vesk isn't running. Start the Vesk app first (it lives in the system tray)."});
  EXPECT_EQ(cli.run({"off"}), 2);
  EXPECT_EQ(cli.io.out_, "");
  EXPECT_EQ(cli.io.err_,
            "vesk: Vesk isn't running. Start the Vesk app first (it lives in the system tray).\n");
}

}  // namespace
}  // namespace vesk::cli
