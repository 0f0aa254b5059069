#include "agents/catalogue.h"

#include <array>

#include "agents/locations.h"

namespace vesk::agents {

namespace {

using edit::OrderedJson;
using W = std::string_view;

OrderedJson args_of(const LaunchEntry& launch) {
  OrderedJson args = OrderedJson::array();
  for (const std::string& arg : launch.args) args.push_back(arg);
  return args;
}

// {"type": TYPE, "command": EXE, "args": ["mcp"]}, without "type" when
// `type` is empty; the members in that order.
OrderedJson command_entry(const LaunchEntry& launch, W type = {}) {
  OrderedJson entry = OrderedJson::object();
  if (!type.empty()) entry["type"] = type;
  entry["command"] = launch.command;
  entry["args"] = args_of(launch);
  return entry;
}

OrderedJson plain_entry(const LaunchEntry& launch) { return command_entry(launch); }

OrderedJson claude_code_entry(const LaunchEntry& launch) {
  OrderedJson entry = command_entry(launch, "stdio");
  entry["env"] = OrderedJson::object();
  return entry;
}

OrderedJson copilot_entry(const LaunchEntry& launch) {
  OrderedJson entry = command_entry(launch, "local");
  entry["tools"] = OrderedJson::array({"*"});
  return entry;
}

// OpenCode and Kilo: the command and its arguments in one list.
OrderedJson opencode_entry(const LaunchEntry& launch) {
  OrderedJson command = OrderedJson::array({launch.command});
  for (const std::string& arg : launch.args) command.push_back(arg);
  OrderedJson entry = OrderedJson::object();
  entry["type"] = "local";
  entry["command"] = std::move(command);
  entry["enabled"] = true;
  return entry;
}

OrderedJson cline_entry(const LaunchEntry& launch) {
  OrderedJson entry = plain_entry(launch);
  entry["disabled"] = false;
  return entry;
}

OrderedJson vscode_entry(const LaunchEntry& launch) { return command_entry(launch, "stdio"); }

constexpr W kClaude[] = {"claude", "claude-code"};
constexpr W kCodex[] = {"codex"};
constexpr W kGemini[] = {"gemini"};
constexpr W kQwen[] = {"qwen"};
constexpr W kCopilot[] = {"copilot"};
constexpr W kOpenCode[] = {"opencode"};
constexpr W kKilo[] = {"kilo"};
constexpr W kCline[] = {"cline"};
constexpr W kCursor[] = {"cursor"};
constexpr W kWindsurf[] = {"windsurf"};
constexpr W kVsCode[] = {"vscode"};
constexpr W kClaudeDesktop[] = {"claude-desktop"};

using enum FileFormat;

constexpr AgentSpec kAgents[] = {
    {kClaude, "Claude Code", kJson, locate_claude_code, "mcpServers", claude_code_entry,
     " for all projects", "claude mcp add -s user vesk -- ", HookForm::kClaudeSettings},
    {kCodex, "Codex", kToml, locate_codex, "mcp_servers", nullptr, "", "codex mcp add vesk -- ",
     HookForm::kCodex},
    {kGemini, "Gemini CLI", kJsonComments, locate_gemini, "mcpServers", plain_entry, "",
     "gemini mcp add -s user vesk ", HookForm::kGeminiSettings},
    {kQwen, "Qwen Code", kJsonComments, locate_qwen, "mcpServers", plain_entry, "", "",
     HookForm::kQwenSettings},
    {kCopilot, "GitHub Copilot CLI", kJsonc, locate_copilot, "mcpServers", copilot_entry, "", "",
     HookForm::kCopilotFile},
    {kOpenCode, "OpenCode", kJsonc, locate_opencode, "mcp", opencode_entry, "", "",
     HookForm::kOpenCodePlugin},
    {kKilo, "Kilo CLI", kJsonc, locate_kilo, "mcp", opencode_entry, "", "", HookForm::kKiloPlugin},
    {kCline, "Cline CLI", kJson, locate_cline, "mcpServers", cline_entry, "", "",
     HookForm::kClineScripts},
    {kCursor, "Cursor", kJsonc, locate_cursor, "mcpServers", plain_entry, "", "",
     HookForm::kCursorHooks},
    {kWindsurf, "Windsurf", kJsonc, locate_windsurf, "mcpServers", plain_entry, "", "",
     HookForm::kWindsurfHooks},
    // VS Code runs Claude Code's hooks, and Claude Desktop's chat has none.
    {kVsCode, "VS Code", kJsonc, locate_vscode, "servers", vscode_entry},
    {kClaudeDesktop, "Claude Desktop", kJsonc, locate_claude_desktop, "mcpServers", plain_entry},
};

}  // namespace

std::span<const AgentSpec> agent_catalogue() { return kAgents; }

const AgentSpec* find_agent(std::string_view word) {
  for (const AgentSpec& spec : kAgents) {
    for (std::string_view name : spec.words) {
      if (name == word) return &spec;
    }
  }
  return nullptr;
}

std::span<const std::string_view> agent_words() {
  static const std::vector<std::string_view> words = [] {
    std::vector<std::string_view> out;
    for (const AgentSpec& spec : kAgents) out.push_back(spec.words.front());
    return out;
  }();
  return words;
}

std::span<const std::string_view> all_agent_words() {
  static const std::vector<std::string_view> words = [] {
    std::vector<std::string_view> out;
    for (const AgentSpec& spec : kAgents) out.insert(out.end(), spec.words.begin(), spec.words.end());
    return out;
  }();
  return words;
}

}  // namespace vesk::agents
