#include "agents/registrar.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "agents/hook_files.h"
#include "agents/hook_install.h"
#include "agents/locations.h"
#include "harness.h"
#include "support/memory_files.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::agents {
namespace {

using platform::join_path;
using vesk::testing::MemoryFiles;
using vesk::testing::names_in;
using vesk::testing::TempDir;
using Kind = Change::Kind;

const LaunchEntry kEntry{"C:\\Tools\\vesk.exe", {"mcp"}};
const char kTable[] =
    "\n[mcp_servers.vesk]\ncommand = \"C:\\\\Tools\\\\vesk.exe\"\nargs = [\"mcp\"]\n";

std::string slurp(const std::string& path) {
  auto text = platform::read_file(path);
  return text ? *text : "<missing>";
}

std::string slurp(const MemoryFiles& files, const std::string& path) {
  return files.text(path).value_or("<missing>");
}

// A user's folder for files that are only in memory.
const std::string kMemoryHome = platform::kPathSeparator == '\\' ? "C:\\Users\\u" : "/home/u";

const AgentSpec& spec(std::string_view word) { return *find_agent(word); }

// A user's folder in memory holding one agent's file.
struct Profile {
  MemoryFiles files;
  std::string file;
  std::string backup;
  const AgentSpec& agent;

  Profile(std::string_view word, std::string name)
      : file(join_path(kMemoryHome, name)), backup(file + ".vesk-backup"), agent(spec(word)) {}

  Result<Change> connect(const LaunchEntry& launch = kEntry) {
    return connect_agent(agent, file, launch, files);
  }
  Result<Change> disconnect() { return disconnect_agent(agent, file, files); }
  void put(const std::string& text) { files.put(file, text); }
  // The names in the file's folder, sorted.
  std::vector<std::string> names() const {
    return files.list(std::string(platform::parent_folder(file)));
  }
};

Profile claude() { return Profile("claude", ".claude.json"); }
Profile codex() { return Profile("codex", join_path(".codex", "config.toml")); }

// The same on the real disk, for what only real files do.
struct DiskProfile {
  TempDir dir;
  std::string file;
  std::string backup;
  const AgentSpec& agent;

  DiskProfile(std::string_view word, std::string name)
      : file(join_path(dir.path(), name)), backup(file + ".vesk-backup"), agent(spec(word)) {}

  Result<Change> connect(const LaunchEntry& launch = kEntry) {
    return connect_agent(agent, file, launch, system_files());
  }
  Result<Change> disconnect() { return disconnect_agent(agent, file, system_files()); }
};

// ---- Every agent of the table -------------------------------------------------

// A user folder with every variable pointing into it, for either rule.
AgentEnv env_in(const std::string& root) {
  AgentEnv env;
  env.folders.userprofile = root;
  env.folders.home = root;
  env.folders.appdata = join_path(root, "Roaming");
  env.folders.localappdata = join_path(root, "Local");
  return env;
}

// What a user's file holds before: a comment (where allowed) and another server.
std::string hand_kept(const AgentSpec& agent) {
  if (agent.format == FileFormat::kToml) {
    return "# mine\nmodel = \"o3\"\n\n[mcp_servers.other]\ncommand = \"x\"\n";
  }
  std::string comment = agent.format == FileFormat::kJson ? "" : "  // mine\n";
  return "{\n" + comment + "  \"theme\": \"dark\",\n  \"" + std::string(agent.servers_key) +
         "\": {\n    \"other\": {\"command\": \"x\"}\n  }\n}\n";
}

TEST(AgentRegistrar, EveryAgentBothWays) {
  for (const AgentSpec& agent : agent_catalogue()) {
    SCOPED_TRACE(std::string(agent.display));
    MemoryFiles files;
    auto place = agent.locate(env_in(kMemoryHome), files);
    ASSERT_TRUE(place) << place.message();
    ASSERT_EQ(place->file.rfind(kMemoryHome, 0), 0u) << place->file;
    const std::string before = hand_kept(agent);
    files.put(place->file, before);

    auto added = connect_agent(agent, place->file, kEntry, files);
    ASSERT_TRUE(added) << added.message();
    EXPECT_EQ(added->kind, Kind::kAdded);
    const std::string connected = slurp(files, place->file);
    EXPECT_EQ(connected.rfind(before.substr(0, before.find("other")), 0), 0u) << connected;
    auto command = connected_command(agent, place->file, files);
    ASSERT_TRUE(command && *command);
    EXPECT_EQ(**command, kEntry.command);
    if (agent.format != FileFormat::kToml) {
      auto entry = edit::jsonc_member(connected, std::array<std::string, 2>{std::string(agent.servers_key), "vesk"},
                                      edit::JsonDialect::kJsonc);
      ASSERT_TRUE(entry && *entry);
      EXPECT_EQ(**entry, Json::parse(agent.entry(kEntry).dump()));
    }

    auto again = connect_agent(agent, place->file, kEntry, files);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->kind, Kind::kUnchanged);
    EXPECT_EQ(slurp(files, place->file), connected);

    auto removed = disconnect_agent(agent, place->file, files);
    ASSERT_TRUE(removed) << removed.message();
    EXPECT_EQ(removed->kind, Kind::kRemoved);
    EXPECT_EQ(slurp(files, place->file), before);
    auto absent = disconnect_agent(agent, place->file, files);
    ASSERT_TRUE(absent);
    EXPECT_EQ(absent->kind, Kind::kAbsent);
    // One backup per change, none replaced.
    EXPECT_EQ(slurp(files, place->file + ".vesk-backup"), before);
    EXPECT_EQ(slurp(files, place->file + ".vesk-backup-2"), connected);
  }
}

// Every agent with hooks: they go in beside the user's own, a second
// connect changes nothing, and disconnect gives the files back as they were.
TEST(AgentRegistrar, EveryAgentsHooksBothWays) {
  const std::string program = "/opt/tools/vesk";
  for (const AgentSpec& agent : agent_catalogue()) {
    if (agent.hooks == HookForm::kNone) continue;
    SCOPED_TRACE(std::string(agent.display));
    MemoryFiles files;
    auto place = agent.locate(env_in(kMemoryHome), files);
    ASSERT_TRUE(place && !place->hooks.empty());
    const bool files_of_ours = agent.hooks == HookForm::kCopilotFile ||
                               agent.hooks == HookForm::kClineScripts ||
                               agent.hooks == HookForm::kOpenCodePlugin ||
                               agent.hooks == HookForm::kKiloPlugin;
    // The user's own hook: in the same list, or a file of theirs beside ours.
    const std::string first = hook_events(agent.hooks).front();
    const bool flat = agent.hooks == HookForm::kCursorHooks || agent.hooks == HookForm::kWindsurfHooks;
    const std::string mine = flat ? R"({"command": "my-lint"})"
                                  : R"({"hooks": [{"type": "command", "command": "my-lint"}]})";
    const std::string own_file = join_path(place->hooks, files_of_ours ? "mine.json" : "");
    const std::string settings = files_of_ours ? own_file : place->hooks;
    const std::string before = files_of_ours ? "{}\n"
                                             : "{\n  \"theme\": \"dark\",\n  \"hooks\": {\n    \"" +
                                                   first + "\": [\n      " + mine + "\n    ]\n  }\n}\n";
    files.put(settings, before);
    const std::string config = agent.hooks == HookForm::kCodex ? "model = \"o3\"\n" : "";
    if (agent.hooks == HookForm::kCodex) {
      files.put(place->file, config);
    }

    auto added = connect_hooks(agent, *place, program, files, platform::kFolderRule);
    ASSERT_TRUE(added) << added.message();
    EXPECT_EQ(added->kind, Kind::kAdded);
    auto state = hook_state(agent, *place, program, files, platform::kFolderRule);
    ASSERT_TRUE(state) << state.message();
    EXPECT_TRUE(state->any && state->complete && state->trusted);
    if (files_of_ours) {
      // A new file of ours is a script when the agent runs it as one.
      for (const std::string& name : files.list(place->hooks)) {
        if (name == "mine.json") continue;
        const bool script = agent.hooks == HookForm::kClineScripts &&
                            name.find('.') == std::string::npos;
        EXPECT_EQ(files.mode(join_path(place->hooks, name)), script ? kScriptMode : kPlainFileMode)
            << name;
      }
    }
    if (!files_of_ours) {
      // Theirs stays first in its list, ours after it.
      auto list = edit::jsonc_member(slurp(files, settings), std::array<std::string, 2>{"hooks", first},
                                     edit::JsonDialect::kJsonc);
      ASSERT_TRUE(list && *list && (*list)->size() == 2) << slurp(files, settings);
      EXPECT_EQ((**list)[0], Json::parse(mine));
    }
    const std::string connected = slurp(files, settings);
    auto again = connect_hooks(agent, *place, program, files, platform::kFolderRule);
    ASSERT_TRUE(again) << again.message();
    EXPECT_EQ(again->kind, Kind::kUnchanged);
    // A vesk that moved gets its hooks updated in place.
    auto moved = connect_hooks(agent, *place, "/new/vesk", files, platform::kFolderRule);
    ASSERT_TRUE(moved) << moved.message();
    EXPECT_EQ(moved->kind, Kind::kUpdated);
    // uninstall leaves another program's hooks; disconnect takes all of vesk's.
    auto kept = disconnect_hooks(agent, *place, files, platform::kFolderRule, &program);
    ASSERT_TRUE(kept) << kept.message();
    EXPECT_EQ(kept->kind, Kind::kAbsent);
    auto removed = disconnect_hooks(agent, *place, files, platform::kFolderRule);
    ASSERT_TRUE(removed) << removed.message();
    EXPECT_EQ(removed->kind, Kind::kRemoved);
    EXPECT_EQ(slurp(files, settings), before);
    if (files_of_ours) {
      EXPECT_EQ(files.list(place->hooks), std::vector<std::string>{"mine.json"});
    }
    if (agent.hooks == HookForm::kCodex) {
      EXPECT_EQ(slurp(files, place->file), config);
    }
    if (!files_of_ours) {
      EXPECT_NE(connected, before);
    }
  }
}

TEST(AgentRegistrar, ANamedAgentGetsItsFolderAndFile) {
  for (const AgentSpec& agent : agent_catalogue()) {
    SCOPED_TRACE(std::string(agent.display));
    MemoryFiles files;
    auto place = agent.locate(env_in(kMemoryHome), files);
    ASSERT_TRUE(place);
    auto added = connect_agent(agent, place->file, kEntry, files);
    ASSERT_TRUE(added) << added.message();
    EXPECT_EQ(added->kind, Kind::kAdded);
    // Nothing was there to back up.
    EXPECT_FALSE(files.text(place->file + ".vesk-backup"));
    auto removed = disconnect_agent(agent, place->file, files);
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->kind, Kind::kRemoved);
    // What connect wrote goes again, and the file stays readable.
    if (agent.format != FileFormat::kToml) {
      EXPECT_EQ(slurp(files, place->file), "{\n}\n");
    }
  }
}

// OpenCode and Kilo merge several files of their folder: an entry in any of
// them is the agent's.
TEST(AgentRegistrar, AnEntryInAnotherFileTheAgentReads) {
  MemoryFiles files;
  const AgentEnv env = env_in(kMemoryHome);
  const std::array<std::string, 2> path{"mcp", "vesk"};
  auto entry_in = [&](const std::string& file) {
    auto entry = edit::jsonc_member(slurp(files, file), path, edit::JsonDialect::kJsonc);
    return entry && *entry ? (*entry)->dump() : std::string("none");
  };
  const std::string now = Json::parse(spec("opencode").entry(kEntry).dump()).dump();

  // The rule picks opencode.json; the entry sits in config.json.
  const AgentSpec& opencode = spec("opencode");
  const std::string folder = join_path(join_path(kMemoryHome, ".config"), "opencode");
  const std::string picked = join_path(folder, "opencode.json"), other = join_path(folder, "config.json");
  const std::string mine = "{\n  // mine\n  \"theme\": \"dark\",\n}\n";
  files.put(picked, mine);
  files.put(
      other, "{\"mcp\": {\"vesk\": {\"type\": \"local\", \"command\": [\"/old/vesk\", \"mcp\"]}}}");
  auto place = opencode.locate(env, files);
  ASSERT_TRUE(place);
  ASSERT_EQ(place->file, picked);
  auto c = connect_agent(opencode, *place, kEntry, files);
  ASSERT_TRUE(c) << c.message();
  EXPECT_EQ(c->kind, Kind::kUpdated);
  EXPECT_EQ(c->old_command, "/old/vesk");
  EXPECT_EQ(entry_in(other), now);
  EXPECT_EQ(slurp(files, picked), mine);
  EXPECT_EQ(*connected_commands(opencode, *place, files),
            std::vector<std::string>{kEntry.command});
  EXPECT_EQ(connect_agent(opencode, *place, kEntry, files)->kind, Kind::kUnchanged);
  c = disconnect_agent(opencode, *place, files);
  ASSERT_TRUE(c) << c.message();
  EXPECT_EQ(c->kind, Kind::kRemoved);
  EXPECT_EQ(entry_in(other), "none");
  EXPECT_EQ(slurp(files, picked), mine);
  EXPECT_EQ(disconnect_agent(opencode, *place, files)->kind, Kind::kAbsent);

  // Kilo with entries in two files: both go.
  const AgentSpec& kilo = spec("kilo");
  const std::string kilo_folder = join_path(join_path(kMemoryHome, ".config"), "kilo");
  const std::string first = join_path(kilo_folder, "kilo.json"),
                    second = join_path(kilo_folder, "opencode.jsonc");
  for (const std::string& file : {first, second}) {
    files.put(
        file, "{\n  // mine\n  \"mcp\": {\"other\": {\"type\": \"local\", \"command\": [\"x\"]}, "
              "\"vesk\": " + now + "}\n}\n");
  }
  place = kilo.locate(env, files);
  ASSERT_TRUE(place);
  EXPECT_EQ(connected_commands(kilo, *place, files)->size(), 2u);
  c = disconnect_agent(kilo, *place, files);
  ASSERT_TRUE(c) << c.message();
  EXPECT_EQ(c->kind, Kind::kRemoved);
  for (const std::string& file : {first, second}) {
    EXPECT_EQ(entry_in(file), "none") << file;
    EXPECT_NE(slurp(files, file).find("\"other\""), std::string::npos) << file;
  }
  EXPECT_TRUE(connected_commands(kilo, *place, files)->empty());
}

// A file the agent reads that can't be read stops disconnecting before
// anything is written, and the message is the read's.
TEST(AgentRegistrar, AFileThatCannotBeReadStopsEveryEdit) {
  MemoryFiles files;
  const AgentSpec& kilo = spec("kilo");
  const std::string folder = join_path(join_path(kMemoryHome, ".config"), "kilo");
  const std::string first = join_path(folder, "kilo.json"), second = join_path(folder, "opencode.jsonc");
  const std::string old = "{\"mcp\": {\"vesk\": {\"type\": \"local\", \"command\": [\"/old/vesk\"]}}}";
  files.put(first, old);
  files.put(second, old);
  auto place = kilo.locate(env_in(kMemoryHome), files);
  ASSERT_TRUE(place);
  files.fail_reads(second, "couldn't read " + second + ": no access");
  for (const Result<Change>& c : {disconnect_agent(kilo, *place, files),
                                  connect_agent(kilo, *place, kEntry, files)}) {
    ASSERT_FALSE(c);
    EXPECT_EQ(c.message(), "couldn't read " + second + ": no access");
  }
  EXPECT_EQ(slurp(files, first), old);
  EXPECT_EQ(files.names(), (std::vector<std::string>{first, second}));
  // Once it can be read, both entries go.
  files.fail_reads(second, "");
  auto c = disconnect_agent(kilo, *place, files);
  ASSERT_TRUE(c) << c.message();
  EXPECT_EQ(c->kind, Kind::kRemoved);
  EXPECT_EQ(slurp(files, second).find("vesk"), std::string::npos);
}

// ---- Claude Code ----------------------------------------------------------------

TEST(AgentRegistrar, ClaudeCodeKeepsEveryOtherByte) {
  Profile p = claude();
  // A lone surrogate, as Node writes for a cut emoji, CRLF and odd spacing.
  const std::string original =
      "{\"zeta\": 1, \"cut\": \"\\ud83d\", \"mcpServers\": {\"other\": {\"command\": \"x\", "
      "\"args\": []}},\r\n \"alpha\": {\"b\": true, \"a\": [1.50, null, \"\\u00e9\"]}}\n";
  p.put(original);
  auto c = p.connect();
  ASSERT_TRUE(c) << c.message();
  EXPECT_EQ(c->kind, Kind::kAdded);
  std::string expected = original;
  expected.insert(expected.find("}},\r\n") + 1,
                  ", \"vesk\": {\"type\": \"stdio\", \"command\": \"C:\\\\Tools\\\\vesk.exe\", "
                  "\"args\": [\"mcp\"], \"env\": {}}");
  EXPECT_EQ(slurp(p.files, p.file), expected);
  EXPECT_EQ(slurp(p.files, p.backup), original);
}

TEST(AgentRegistrar, ClaudeCodeAnEmptyOrBlankFileIsAnEmptyObject) {
  for (std::string original : {"", "  \n"}) {
    Profile p = claude();
    p.put(original);
    auto c = p.connect();
    ASSERT_TRUE(c) << c.message();
    EXPECT_EQ(slurp(p.files, p.file).rfind(original + "{\n  \"mcpServers\": {\n    \"vesk\": {", 0), 0u);
  }
}

TEST(AgentRegistrar, ConnectingThreeTimesKeepsOneBackupAndChangesNothing) {
  Profile p = claude();
  const std::string original = "{\"theme\": \"dark\"}";
  p.put(original);
  ASSERT_EQ(p.connect()->kind, Kind::kAdded);
  const std::string connected = slurp(p.files, p.file);
  for (int k = 0; k < 2; ++k) {
    auto c = p.connect();
    ASSERT_TRUE(c);
    EXPECT_EQ(c->kind, Kind::kUnchanged);
  }
  EXPECT_EQ(slurp(p.files, p.file), connected);
  EXPECT_EQ(slurp(p.files, p.backup), original);
  EXPECT_EQ(p.names(), (std::vector<std::string>{".claude.json", ".claude.json.vesk-backup"}));
}

TEST(AgentRegistrar, AnEntryStartingAnotherProgramIsUpdated) {
  Profile p = claude();
  p.put("{\"mcpServers\": {\"vesk\": {\"type\": \"stdio\", \"command\": \"D:\\\\old\\\\vesk.exe\", "
        "\"args\": [\"mcp\"], \"env\": {\"A\": \"1\"}}}}");
  auto c = p.connect();
  ASSERT_TRUE(c);
  EXPECT_EQ(c->kind, Kind::kUpdated);
  EXPECT_EQ(c->old_command, "D:\\old\\vesk.exe");
  // The same program with the user's own environment is left as it is.
  Profile q = claude();
  q.put("{\"mcpServers\": {\"vesk\": {\"type\": \"stdio\", \"command\": \"C:\\\\Tools\\\\vesk.exe\", "
        "\"args\": [\"mcp\"], \"env\": {\"A\": \"1\"}}}}");
  EXPECT_EQ(q.connect()->kind, Kind::kUnchanged);
  // Another shape of the same program: updated, no other program named.
  Profile r = claude();
  r.put("{\"mcpServers\": {\"vesk\": {\"command\": \"C:\\\\Tools\\\\vesk.exe\"}}}");
  c = r.connect();
  ASSERT_TRUE(c);
  EXPECT_EQ(c->kind, Kind::kUpdated);
  EXPECT_EQ(c->old_command, "");
}

TEST(AgentRegistrar, WhatIsNotJsonIsLeftAlone) {
  const std::pair<std::string, std::string> cases[] = {
      {"{", " isn't valid JSON (line 1, column 2: a member name should be here), so I left it alone"},
      {"[1]", " isn't a JSON object, so I left it alone"},
      {"\"x\"", " isn't a JSON object, so I left it alone"},
      {std::string(300, '['), " is nested too deeply to edit safely, so I left it alone"},
  };
  for (const auto& [text, message] : cases) {
    Profile p = claude();
    p.put(text);
    auto c = p.connect();
    ASSERT_FALSE(c);
    EXPECT_EQ(c.message(), p.file + message);
    EXPECT_EQ(p.names(), std::vector<std::string>{".claude.json"});
  }
}

TEST(AgentRegistrar, ClineRefusesAComment) {
  Profile p("cline", "cline_mcp_settings.json");
  p.put("{\n  // mine\n  \"mcpServers\": {}\n}");
  auto c = p.connect();
  ASSERT_FALSE(c);
  EXPECT_EQ(c.message(), p.file + " has a comment (line 2, column 3), which Cline CLI doesn't "
                                  "allow, so I left it alone");
  EXPECT_EQ(p.names(), std::vector<std::string>{"cline_mcp_settings.json"});
}

TEST(AgentRegistrar, GeminiAndQwenRefuseATrailingComma) {
  for (auto [word, name] : {std::pair{"gemini", "Gemini CLI"}, std::pair{"qwen", "Qwen Code"}}) {
    Profile p(word, "settings.json");
    const std::string old = "{\n  // mine\n  \"mcpServers\": {\"a\": {\"command\": \"x\"},},\n}";
    p.put(old);
    const std::string message = p.file + " has a trailing comma (line 3, column 39), which " + name +
                                " can't read, so I left it alone";
    for (const Result<Change>& c : {p.connect(), p.disconnect()}) {
      ASSERT_FALSE(c);
      EXPECT_EQ(c.message(), message);
    }
    EXPECT_EQ(slurp(p.files, p.file), old);
    EXPECT_EQ(p.names(), std::vector<std::string>{"settings.json"});
  }
}

TEST(AgentRegistrar, BracketsInsideStringsAreNoNesting) {
  Profile p = claude();
  std::string brackets(3000, '[');
  p.put("{\"a\":\"" + brackets + "\\\"" + brackets + "\",\"b\":[[{}]]}");
  auto c = p.connect();
  EXPECT_TRUE(c) << c.message();
}

// An update changes what starts the program and keeps the rest of the
// entry as the user has it, turned off included.
TEST(AgentRegistrar, AnUpdateKeepsWhatTheUserPutInTheEntry) {
  struct Row {
    std::string word, name, entry, expected;
    Kind kind;
    bool off;
  };
  const std::string exe = Json(kEntry.command).dump();
  const Row rows[] = {
      {"claude", ".claude.json",
       R"({"type": "stdio", "command": "/old/vesk", "args": ["mcp"], "env": {"VESK_TOKEN": "abc"},
           "timeout": 30000})",
       R"({"type": "stdio", "command": )" + exe +
           R"(, "args": ["mcp"], "env": {"VESK_TOKEN": "abc"}, "timeout": 30000})",
       Kind::kUpdated, false},
      {"cline", "cline_mcp_settings.json",
       R"({"command": "/old/vesk", "args": ["mcp"], "disabled": true, "autoApprove": ["status"],
           "timeout": 60})",
       R"({"command": )" + exe +
           R"(, "args": ["mcp"], "disabled": true, "autoApprove": ["status"], "timeout": 60})",
       Kind::kUpdated, true},
      {"opencode", "opencode.json",
       R"({"type": "local", "command": ["/old/vesk", "mcp"], "enabled": false, "environment": {"A": "1"}})",
       R"({"type": "local", "command": [)" + exe +
           R"(, "mcp"], "enabled": false, "environment": {"A": "1"}})",
       Kind::kUpdated, true},
      // Only the shape: the members that are missing are added.
      {"claude", ".claude.json", R"({"command": )" + exe + R"(, "timeout": 5})",
       R"({"type": "stdio", "command": )" + exe + R"(, "args": ["mcp"], "env": {}, "timeout": 5})",
       Kind::kUpdated, false},
      {"copilot", "mcp-config.json",
       R"({"type": "local", "command": )" + exe + R"(, "args": ["mcp"], "tools": ["status"]})",
       R"({"type": "local", "command": )" + exe + R"(, "args": ["mcp"], "tools": ["status"]})",
       Kind::kUnchanged, false},
      {"cline", "cline_mcp_settings.json",
       R"({"command": )" + exe + R"(, "args": ["mcp"], "disabled": true})",
       R"({"command": )" + exe + R"(, "args": ["mcp"], "disabled": true})", Kind::kUnchanged, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.word + ": " + row.entry);
    Profile p(row.word, row.name);
    const std::string key(p.agent.servers_key);
    const std::string before = "{\"" + key + "\": {\"vesk\": " + row.entry + "}}";
    p.put(before);
    auto c = p.connect();
    ASSERT_TRUE(c) << c.message();
    EXPECT_EQ(c->kind, row.kind);
    EXPECT_EQ(c->turned_off, row.off);
    EXPECT_EQ(c->old_command, row.kind == Kind::kUpdated && row.entry.find("/old/") != std::string::npos
                                  ? "/old/vesk"
                                  : "");
    auto entry = edit::jsonc_member(slurp(p.files, p.file), std::array<std::string, 2>{key, "vesk"},
                                    edit::JsonDialect::kJsonc);
    ASSERT_TRUE(entry && *entry);
    EXPECT_EQ(**entry, Json::parse(row.expected));
    if (row.kind == Kind::kUnchanged) {
      EXPECT_EQ(slurp(p.files, p.file), before);
    }
  }
}

// Files that another program changes between the read and the write: each
// round reads and edits again, and a file that never holds still is left.
std::string round_of(int write) { return "{\"round\": " + std::to_string(write) + "}"; }

TEST(AgentRegistrar, AFileChangedMeanwhileIsReadAndEditedAgain) {
  Profile p = claude();
  p.put("{}");
  p.files.lose_next_writes(2, round_of);
  auto c = p.connect();
  ASSERT_TRUE(c) << c.message();
  EXPECT_EQ(p.files.writes(), 3);
  // The other program's last edit is in the file, with the entry.
  EXPECT_EQ(slurp(p.files, p.file).rfind("{\"round\": 2, \"mcpServers\": {", 0), 0u) << slurp(p.files, p.file);

  Profile q = claude();
  q.put("{}");
  q.files.lose_next_writes(100, round_of);
  c = q.connect();
  ASSERT_FALSE(c);
  EXPECT_EQ(c.message(), q.file + " keeps being changed by another program, so I left it alone. "
                                  "Try again once it is quiet.");
  EXPECT_EQ(slurp(q.files, q.file).find("vesk"), std::string::npos);
}

TEST(AgentRegistrar, AProgramPathThatIsNotUtf8IsLeftOut) {
  for (const char* word : {"claude", "codex"}) {
    Profile p = std::string(word) == "codex" ? codex() : claude();
    auto c = p.connect(LaunchEntry{"/opt/v\xE9sk/vesk", {"mcp"}});
    ASSERT_FALSE(c);
    EXPECT_EQ(c.message(), "the program's path /opt/v\xEF\xBF\xBDsk/vesk isn't valid UTF-8, so it "
                           "can't be written in " + p.file + " as it is; I left it alone");
    EXPECT_FALSE(p.files.text(p.file));
  }
}

// ---- Codex ----------------------------------------------------------------------

TEST(AgentRegistrar, CodexAppendsAfterTheLastLine) {
  for (std::string old : {"model = \"o3\"", "model = \"o3\"\n", "model = \"o3\"\r\n", "\n"}) {
    Profile p = codex();
    p.put(old);
    auto c = p.connect();
    ASSERT_TRUE(c) << c.message();
    EXPECT_EQ(c->kind, Kind::kAdded);
    // The new lines end as the file's do.
    std::string table = kTable;
    if (old.find("\r\n") != std::string::npos) {
      for (size_t at = 0; (at = table.find('\n', at)) != std::string::npos; at += 2) {
        table.insert(at, "\r");
      }
    }
    EXPECT_EQ(slurp(p.files, p.file), old + table);
    EXPECT_EQ(slurp(p.files, p.backup), old);
  }
}

TEST(AgentRegistrar, CodexEmptyFileGetsNoBackup) {
  Profile p = codex();
  p.put("");
  EXPECT_TRUE(p.connect());
  EXPECT_EQ(slurp(p.files, p.file), kTable);
  EXPECT_EQ(p.names(), std::vector<std::string>{"config.toml"});
}

TEST(AgentRegistrar, CodexTableStartingThisProgramIsLeftAsItIs) {
  for (std::string old : {"[mcp_servers.vesk]\ncommand = \"C:\\\\Tools\\\\vesk.exe\"\nargs = [\"mcp\"]\n",
                          "  [ mcp_servers . \"vesk\" ]  # mine\r\ncommand = 'C:\\Tools\\vesk.exe'\r\n"
                          "args = [ 'mcp' ] # the server\r\n",
                          "[mcp_servers]\nvesk.command = 'C:\\Tools\\vesk.exe'\nvesk.args = [\"mcp\"]\n"}) {
    Profile p = codex();
    p.put(old);
    auto c = p.connect();
    ASSERT_TRUE(c) << old;
    EXPECT_EQ(c->kind, Kind::kUnchanged) << old;
    EXPECT_EQ(slurp(p.files, p.file), old);
    EXPECT_EQ(p.names(), std::vector<std::string>{"config.toml"});
  }
}

TEST(AgentRegistrar, CodexTableStartingAnotherProgramIsUpdated) {
  const std::pair<std::string, std::string> cases[] = {
      // In place, comments and other keys kept.
      {"a = 1\n[mcp_servers.vesk] # mine\ncommand = \"D:\\\\old\\\\vesk.exe\" # moved\nargs = "
       "[\"mcp\"]\nenv = { A = \"1\" }\n",
       "a = 1\n[mcp_servers.vesk] # mine\ncommand = \"C:\\\\Tools\\\\vesk.exe\" # moved\nargs = "
       "[\"mcp\"]\nenv = { A = \"1\" }\n"},
      // Keys it lacks go after the header.
      {"[mcp_servers.vesk]\r\n[other]\r\n",
       "[mcp_servers.vesk]\r\ncommand = \"C:\\\\Tools\\\\vesk.exe\"\r\nargs = [\"mcp\"]\r\n[other]\r\n"},
      // Another form: kept, with what the user put in it.
      {"mcp_servers.vesk = { command = \"x\", env = { A = \"1\" } }\nb = 2\n",
       "mcp_servers.vesk = { command = \"C:\\\\Tools\\\\vesk.exe\", env = { A = \"1\" }, args = "
       "[\"mcp\"] }\nb = 2\n"},
      {"[mcp_servers.vesk.env]\nA = \"1\"\n",
       "[mcp_servers.vesk]\ncommand = \"C:\\\\Tools\\\\vesk.exe\"\nargs = [\"mcp\"]\n\n"
       "[mcp_servers.vesk.env]\nA = \"1\"\n"},
      {"[mcp_servers]\nvesk.command = \"x\"\nvesk.enabled = false\n",
       "[mcp_servers]\nvesk.command = \"C:\\\\Tools\\\\vesk.exe\"\nvesk.enabled = false\n"
       "vesk.args = [\"mcp\"]\n"},
  };
  for (const auto& [old, now] : cases) {
    Profile p = codex();
    p.put(old);
    auto c = p.connect();
    ASSERT_TRUE(c) << old;
    EXPECT_EQ(c->kind, Kind::kUpdated) << old;
    EXPECT_EQ(c->turned_off, old.find("enabled = false") != std::string::npos) << old;
    EXPECT_EQ(slurp(p.files, p.file), now);
    EXPECT_EQ(slurp(p.files, p.backup), old);
  }
}

TEST(AgentRegistrar, CodexNotATable) {
  // Names are case-sensitive; a comment, another table's key or the inside
  // of a multi-line string is no table.
  for (std::string old : {"[MCP_servers.vesk]\n", "# [mcp_servers.vesk] is added by vesk connect\n",
                          "[other]\nmcp_servers.vesk = 1\n",
                          "note = \"\"\"\n[mcp_servers.vesk]\n\"\"\"\n"}) {
    Profile p = codex();
    p.put(old);
    EXPECT_EQ(p.connect()->kind, Kind::kAdded) << old;
    EXPECT_EQ(slurp(p.files, p.file), old + kTable);
  }
}

TEST(AgentRegistrar, CodexDisconnectTakesTheTableAndItsSubtables) {
  const std::string old =
      "model = \"o3\"\n[mcp_servers.vesk]\ncommand = \"x\"\nargs = [\n  \"mcp\",\n]\n"
      "[mcp_servers.other]\ncommand = \"y\"\n[mcp_servers.vesk.env]\nA = \"\"\"\n[b]\n\"\"\"\n"
      "[profiles.fast]\nmodel = \"o4\"\n";
  Profile p = codex();
  p.put(old);
  auto c = p.disconnect();
  ASSERT_TRUE(c) << c.message();
  EXPECT_EQ(c->kind, Kind::kRemoved);
  EXPECT_EQ(slurp(p.files, p.file),
            "model = \"o3\"\n[mcp_servers.other]\ncommand = \"y\"\n[profiles.fast]\nmodel = \"o4\"\n");
  EXPECT_EQ(slurp(p.files, p.backup), old);
}

TEST(AgentRegistrar, CodexServersGivenAsAValueAreLeftAlone) {
  const std::pair<std::string, std::string> cases[] = {
      {"mcp_servers = {}\n", " sets mcp_servers as an inline table, to which no table can be "
                              "added, so I left it alone"},
      {"\"mcp_servers\" = 1\n", " sets mcp_servers to a number, not a table, so I left it alone"},
      {"[[mcp_servers]]\n", " sets mcp_servers to an array of tables, not a table, so I left it "
                             "alone"},
      {"[mcp_servers]\nvesk = 3\n", " sets mcp_servers.vesk to something that isn't a table, so I "
                                     "left it alone"},
      {"a = \"\"\"\n", " isn't valid TOML"},
  };
  for (const auto& [old, message] : cases) {
    Profile p = codex();
    p.put(old);
    auto c = p.connect();
    ASSERT_FALSE(c);
    EXPECT_EQ(c.message().substr(0, p.file.size() + message.size()), p.file + message);
    EXPECT_EQ(p.names(), std::vector<std::string>{"config.toml"});
  }
}

TEST(AgentRegistrar, CodexTextThatIsNotUtf8IsLeftAlone) {
  Profile p = codex();
  const std::string old = "model = \"\xE9t\xE9\"\n";  // Latin-1
  p.put(old);
  auto c = p.connect();
  ASSERT_FALSE(c);
  EXPECT_EQ(c.message(), p.file + " isn't UTF-8 text, so I left it alone");
  EXPECT_EQ(slurp(p.files, p.file), old);
}

TEST(AgentRegistrar, AFolderThatCannotBeMadeWritesNothing) {
  DiskProfile p("codex", join_path(".codex", "config.toml"));
  std::string folder(platform::parent_folder(p.file));
  // A file where the folder should be.
  ASSERT_TRUE(platform::write_file(folder, "not a folder"));
  auto c = p.connect();
  ASSERT_FALSE(c);
  EXPECT_NE(c.message().find(folder), std::string::npos) << c.message();
  EXPECT_EQ(slurp(folder), "not a folder");
  EXPECT_EQ(names_in(p.dir.path()), std::vector<std::string>{".codex"});
}

// ---- Symbolic links -------------------------------------------------------------

TEST(AgentRegistrar, ALinkIsWrittenThrough) {
  for (bool toml : {false, true}) {
    DiskProfile p = toml ? DiskProfile("codex", join_path(".codex", "config.toml"))
                           : DiskProfile("claude", ".claude.json");
    std::string dotfiles = join_path(p.dir.path(), "dotfiles");
    std::string target = join_path(dotfiles, toml ? "config.toml" : "claude.json");
    const std::string original = toml ? "a = 1\n" : "{}";
    ASSERT_TRUE(platform::create_dirs(dotfiles));
    ASSERT_TRUE(platform::write_file(target, original));
    ASSERT_TRUE(platform::create_dirs(std::string(platform::parent_folder(p.file))));
    std::error_code ec;
    std::filesystem::create_symlink(std::filesystem::u8path(target),
                                    std::filesystem::u8path(p.file), ec);
    if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
    auto c = p.connect();
    ASSERT_TRUE(c) << c.message();
    EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::u8path(p.file)));
    EXPECT_NE(slurp(target).find("vesk"), std::string::npos);
    EXPECT_EQ(slurp(p.backup), original);
    EXPECT_EQ(names_in(dotfiles), std::vector<std::string>{toml ? "config.toml" : "claude.json"});
    ASSERT_TRUE(p.disconnect());
    EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::u8path(p.file)));
  }
}

// ---- Whose entry it is ------------------------------------------------------------

TEST(AgentRegistrar, StartsThisProgram) {
  const std::string dir = platform::kPathSeparator == '\\' ? "C:\\T\\" : "/t/";
  EXPECT_TRUE(starts_this_program(dir + "vesk-x", dir + "vesk-x"));
  EXPECT_TRUE(starts_this_program(dir + "vesk", dir + "vesk-x"));
  EXPECT_TRUE(starts_this_program(dir + "VESK.EXE", dir + "vesk-x"));
  EXPECT_FALSE(starts_this_program(dir + "other", dir + "vesk-x"));
  EXPECT_FALSE(starts_this_program(dir + "sub" + platform::kPathSeparator + "vesk", dir + "vesk-x"));
  EXPECT_FALSE(starts_this_program("", dir + "vesk-x"));
}

}  // namespace
}  // namespace vesk::agents
