#include "agents/locations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "platform/fs.h"

namespace vesk::agents {
namespace {

using platform::FolderRule;
using platform::join_path;

// A disk that holds exactly the paths given.
class FakeProbe final : public FileProbe {
 public:
  std::set<std::string> paths;
  bool exists(const std::string& path) const override { return paths.count(path) > 0; }
  std::vector<std::string> list(const std::string& folder) const override {
    std::vector<std::string> names;
    for (const std::string& path : paths) {
      if (platform::parent_folder(path) == folder) names.emplace_back(platform::file_name(path));
    }
    return names;
  }
};

std::string j(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) out = out.empty() ? std::string(part) : join_path(out, part);
  return out;
}

TEST(AgentLocations, EveryRowOnBothPlatforms) {
  const std::string root = platform::kPathSeparator == '\\' ? "C:\\" : "/";
  const std::string u = root + "u", h = root + "h", k = root + "k", v = root + "v", x = root + "x",
                    a = root + "a", l = root + "l";
  using Vars = std::map<std::string, std::string>;
  struct Row {
    std::string_view word;
    FolderRule rule;
    Vars vars;              // the agent's variables, and the folders: U H K X A L
    std::string file;       // empty: none found
  };
  auto env_of = [&](const Row& row) {
    AgentEnv env;
    env.rule = row.rule;
    for (const auto& [name, value] : row.vars) {
      if (name == "U") env.folders.userprofile = value;
      else if (name == "H") env.folders.home = value;
      else if (name == "K") env.folders.known_profile = value;
      else if (name == "X") env.folders.xdg_config_home = value;
      else if (name == "A") env.folders.appdata = value;
      else if (name == "L") env.folders.localappdata = value;
      else env.variables[name] = value;
    }
    return env;
  };
  const auto P = FolderRule::kPosix;
  const auto W = FolderRule::kWindows;
  const Row rows[] = {
      {"claude", P, {{"U", u}, {"H", h}}, j({u, ".claude.json"})},
      {"claude", P, {{"H", h}}, j({h, ".claude.json"})},
      {"claude", W, {{"H", h}, {"K", k}}, j({k, ".claude.json"})},
      {"claude", P, {{"H", h}, {"CLAUDE_CONFIG_DIR", v}}, j({v, ".claude.json"})},
      {"claude", P, {{"H", h}, {"CLAUDE_CONFIG_DIR", "rel"}}, j({h, ".claude.json"})},
      {"claude", W, {}, ""},
      {"codex", P, {{"H", h}}, j({h, ".codex", "config.toml"})},
      {"codex", W, {{"U", u}, {"CODEX_HOME", v}}, j({v, "config.toml"})},
      {"codex", P, {{"H", "h"}, {"CODEX_HOME", "v"}}, ""},
      {"gemini", P, {{"H", h}}, j({h, ".gemini", "settings.json"})},
      {"gemini", W, {{"U", u}, {"GEMINI_CLI_HOME", v}}, j({v, ".gemini", "settings.json"})},
      {"gemini", P, {{"H", h}, {"GEMINI_CLI_HOME", "v"}}, j({h, ".gemini", "settings.json"})},
      {"qwen", P, {{"H", h}}, j({h, ".qwen", "settings.json"})},
      {"qwen", W, {{"K", k}, {"QWEN_HOME", v}}, j({v, "settings.json"})},
      {"copilot", W, {{"U", u}}, j({u, ".copilot", "mcp-config.json"})},
      {"copilot", P, {{"H", h}, {"COPILOT_HOME", v}}, j({v, "mcp-config.json"})},
      {"opencode", P, {{"H", h}}, j({h, ".config", "opencode", "opencode.json"})},
      {"opencode", W, {{"U", u}, {"X", x}}, j({x, "opencode", "opencode.json"})},
      {"kilo", P, {{"H", h}, {"X", "rel"}}, j({h, ".config", "kilo", "kilo.json"})},
      {"cline", P, {{"H", h}}, j({h, ".cline", "data", "settings", "cline_mcp_settings.json"})},
      {"cline", W, {{"U", u}, {"CLINE_DIR", v}}, j({v, "data", "settings", "cline_mcp_settings.json"})},
      {"cursor", W, {{"U", u}}, j({u, ".cursor", "mcp.json"})},
      {"cursor", P, {}, ""},
      {"windsurf", P, {{"H", h}}, j({h, ".codeium", "windsurf", "mcp_config.json"})},
      {"vscode", P, {{"H", h}}, j({h, ".config", "Code", "User", "mcp.json"})},
      {"vscode", P, {{"H", h}, {"X", x}}, j({x, "Code", "User", "mcp.json"})},
      {"vscode", W, {{"U", u}, {"A", a}}, j({a, "Code", "User", "mcp.json"})},
      {"vscode", W, {{"U", u}, {"A", ""}}, ""},
      {"claude-desktop", P, {{"H", h}}, j({h, ".config", "Claude", "claude_desktop_config.json"})},
      {"claude-desktop", W, {{"A", a}, {"L", l}}, j({a, "Claude", "claude_desktop_config.json"})},
  };
  FakeProbe none;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.word) + (row.rule == P ? " posix " : " windows ") + row.file);
    auto place = find_agent(row.word)->locate(env_of(row), none);
    if (row.file.empty()) {
      ASSERT_FALSE(place);
      EXPECT_EQ(place.message().rfind("couldn't find where ", 0), 0u) << place.message();
      continue;
    }
    ASSERT_TRUE(place) << place.message();
    EXPECT_EQ(place->file, row.file);
    // Every agent reads the file a new entry goes in; most read only that one.
    if (row.word == "opencode" || row.word == "kilo") {
      EXPECT_NE(std::find(place->files.begin(), place->files.end(), row.file), place->files.end());
    } else {
      EXPECT_EQ(place->files, std::vector<std::string>{row.file});
    }
  }
  EXPECT_EQ(find_agent("claude")->locate(AgentEnv{{}, W, {}}, none).message(),
            "couldn't find where Claude Code keeps its settings: set CLAUDE_CONFIG_DIR or "
            "USERPROFILE");
}

TEST(AgentLocations, OpenCodeAndKiloTakeTheFileThatExists) {
  const std::string h = platform::kPathSeparator == '\\' ? "C:\\h" : "/h";
  AgentEnv env;
  env.folders.home = h;
  env.rule = FolderRule::kPosix;
  FakeProbe probe;
  std::string opencode = j({h, ".config", "opencode"});
  probe.paths = {j({opencode, "config.json"}), j({opencode, "opencode.jsonc"})};
  EXPECT_EQ(find_agent("opencode")->locate(env, probe)->file, j({opencode, "opencode.jsonc"}));
  probe.paths = {j({opencode, "config.json"})};
  EXPECT_EQ(find_agent("opencode")->locate(env, probe)->file, j({opencode, "config.json"}));
  std::string kilo = j({h, ".config", "kilo"});
  probe.paths = {j({kilo, "kilo.jsonc"})};
  EXPECT_EQ(find_agent("kilo")->locate(env, probe)->file, j({kilo, "kilo.jsonc"}));
  // Both merge several files, whichever a new entry goes in.
  EXPECT_EQ(find_agent("opencode")->locate(env, probe)->files,
            (std::vector<std::string>{j({opencode, "config.json"}), j({opencode, "opencode.json"}),
                                      j({opencode, "opencode.jsonc"})}));
  probe.paths = {j({kilo, "opencode.json"})};
  auto place = find_agent("kilo")->locate(env, probe);
  EXPECT_EQ(place->file, j({kilo, "kilo.json"}));
  EXPECT_EQ(place->files,
            (std::vector<std::string>{j({kilo, "config.json"}), j({kilo, "kilo.json"}),
                                      j({kilo, "kilo.jsonc"}), j({kilo, "opencode.json"}),
                                      j({kilo, "opencode.jsonc"})}));
}

TEST(AgentLocations, ClaudeDesktopPackagedOnWindows) {
  const std::string a = platform::kPathSeparator == '\\' ? "C:\\a" : "/a";
  const std::string l = platform::kPathSeparator == '\\' ? "C:\\l" : "/l";
  AgentEnv env;
  env.folders.appdata = a;
  env.folders.localappdata = l;
  env.rule = FolderRule::kWindows;
  const std::string packages = j({l, "Packages"});
  auto roaming = [&](const std::string& name) { return j({packages, name, "LocalCache", "Roaming"}); };
  auto file = [&](const std::string& name) {
    return j({roaming(name), "Claude", "claude_desktop_config.json"});
  };
  const AgentSpec& desktop = *find_agent("claude-desktop");
  FakeProbe probe;
  // A package folder without its roaming copy doesn't count.
  probe.paths = {j({packages, "Claude_x"}), j({packages, "Other_y"}), roaming("Other_y")};
  EXPECT_EQ(desktop.locate(env, probe)->file, j({a, "Claude", "claude_desktop_config.json"}));
  probe.paths.insert(j({packages, "Claude_pzs8sxrjxfjjc"}));
  probe.paths.insert(roaming("Claude_pzs8sxrjxfjjc"));
  EXPECT_EQ(desktop.locate(env, probe)->file, file("Claude_pzs8sxrjxfjjc"));
  // Several: the one that holds the file, else none.
  probe.paths.insert(roaming("Claude_x"));
  auto several = desktop.locate(env, probe);
  ASSERT_FALSE(several);
  EXPECT_EQ(several.message(), "found several Claude Desktop packages in " + packages +
                                   " (Claude_pzs8sxrjxfjjc, Claude_x), so I can't tell which "
                                   "one you use");
  probe.paths.insert(file("Claude_x"));
  EXPECT_EQ(desktop.locate(env, probe)->file, file("Claude_x"));
}

TEST(AgentCatalogue, EntryShapes) {
  const LaunchEntry launch{"/p/vesk", {"mcp"}};
  const std::pair<std::string_view, std::string> rows[] = {
      {"claude", R"({"type":"stdio","command":"/p/vesk","args":["mcp"],"env":{}})"},
      {"gemini", R"({"command":"/p/vesk","args":["mcp"]})"},
      {"qwen", R"({"command":"/p/vesk","args":["mcp"]})"},
      {"copilot", R"({"type":"local","command":"/p/vesk","args":["mcp"],"tools":["*"]})"},
      {"opencode", R"({"type":"local","command":["/p/vesk","mcp"],"enabled":true})"},
      {"kilo", R"({"type":"local","command":["/p/vesk","mcp"],"enabled":true})"},
      {"cline", R"({"command":"/p/vesk","args":["mcp"],"disabled":false})"},
      {"cursor", R"({"command":"/p/vesk","args":["mcp"]})"},
      {"windsurf", R"({"command":"/p/vesk","args":["mcp"]})"},
      {"vscode", R"({"type":"stdio","command":"/p/vesk","args":["mcp"]})"},
      {"claude-desktop", R"({"command":"/p/vesk","args":["mcp"]})"},
  };
  for (const auto& [word, shape] : rows) EXPECT_EQ(find_agent(word)->entry(launch).dump(), shape) << word;
  EXPECT_EQ(find_agent("codex")->format, FileFormat::kToml);
  // Gemini CLI and Qwen Code read comments but refuse trailing commas.
  EXPECT_EQ(find_agent("gemini")->format, FileFormat::kJsonComments);
  EXPECT_EQ(find_agent("qwen")->format, FileFormat::kJsonComments);
  EXPECT_EQ(find_agent("claude-code"), find_agent("claude"));
  EXPECT_EQ(find_agent("Claude"), nullptr);
  EXPECT_EQ(agent_words().size(), agent_catalogue().size());
}

}  // namespace
}  // namespace vesk::agents
