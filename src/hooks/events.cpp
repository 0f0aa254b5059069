#include "hooks/events.h"

#include <array>
#include <vector>

namespace vesk::hooks {

namespace {

using W = std::string_view;
using enum Step;

// Claude Code's names, which VS Code and Cursor also use when they run
// Claude Code's hooks.
constexpr EventRow kClaudeEvents[] = {
    {"UserPromptSubmit", kStart},     {"PreToolUse", kToolStart},
    {"PostToolUse", kToolEnd},        {"PostToolUseFailure", kToolEnd},
    {"PostToolBatch", kWork},         {"MessageDisplay", kWork},
    {"SubagentStart", kWork},         {"SubagentStop", kWork},
    {"PreCompact", kWork},            {"PostCompact", kWork},
    {"Stop", kEnd},                   {"StopFailure", kEnd},
    {"Interrupt", kEnd},              {"SessionEnd", kEnd},
    {"SessionStart", kNone},          {"Notification", kNone},
    {"PermissionRequest", kNone},
};

constexpr EventRow kCodexEvents[] = {
    {"UserPromptSubmit", kStart}, {"PreToolUse", kToolStart}, {"PostToolUse", kToolEnd},
    {"SubagentStart", kWork},     {"SubagentStop", kWork},    {"PreCompact", kWork},
    {"PostCompact", kWork},       {"Stop", kEnd},             {"StopFailure", kEnd},
    {"Interrupt", kEnd},          {"SessionEnd", kEnd},       {"SessionStart", kNone},
    {"PermissionRequest", kNone},
};

constexpr EventRow kGeminiEvents[] = {
    {"BeforeAgent", kStart},  {"BeforeModel", kWork},     {"AfterModel", kWork},
    {"BeforeToolSelection", kWork}, {"BeforeTool", kToolStart}, {"AfterTool", kToolEnd},
    {"PreCompress", kWork},   {"AfterAgent", kEnd},       {"SessionEnd", kEnd},
    {"SessionStart", kNone},  {"Notification", kNone},
};

// Qwen Code sends UserPromptSubmit again, with an empty prompt, after each
// tool result: still a start, which keeps the hold.
constexpr EventRow kQwenEvents[] = {
    {"UserPromptSubmit", kStart}, {"PreToolUse", kToolStart}, {"PostToolUse", kToolEnd},
    {"PostToolUseFailure", kToolEnd}, {"SubagentStart", kWork}, {"SubagentStop", kWork},
    {"PreCompact", kWork},        {"PostCompact", kWork},     {"Stop", kEnd},
    {"StopFailure", kEnd},        {"SessionEnd", kEnd},       {"SessionStart", kNone},
    {"Notification", kNone},      {"PermissionRequest", kNone},
};

// preToolUse fails closed in Copilot CLI, so no hook is ever put there:
// tool calls are seen only as they end.
constexpr EventRow kCopilotEvents[] = {
    {"userPromptSubmitted", kStart}, {"postToolUse", kWork},  {"postToolUseFailure", kWork},
    {"subagentStart", kWork},        {"subagentStop", kWork}, {"preCompact", kWork},
    {"agentStop", kEnd},             {"errorOccurred", kEnd}, {"sessionEnd", kEnd},
    {"sessionStart", kNone},         {"preToolUse", kNone},   {"permissionRequest", kNone},
    {"notification", kNone},
};

constexpr EventRow kClineEvents[] = {
    {"TaskStart", kStart},        {"TaskResume", kStart},    {"UserPromptSubmit", kStart},
    {"PreToolUse", kToolStart},   {"PostToolUse", kToolEnd}, {"PreCompact", kWork},
    {"TaskComplete", kEnd},       {"TaskError", kEnd},       {"TaskCancel", kEnd},
    {"SessionShutdown", kEnd},
};

// The names the plugin that `connect` writes for OpenCode and Kilo uses.
constexpr EventRow kPluginEvents[] = {
    {"session.busy", kStart},          {"tool.execute.before", kToolStart},
    {"tool.execute.after", kToolEnd},  {"session.idle", kEnd},
};

// Cursor's own names, and Claude Code's for the hooks it runs from
// Claude Code's settings.
constexpr EventRow kCursorEvents[] = {
    {"beforeSubmitPrompt", kStart},   {"preToolUse", kToolStart},
    {"postToolUse", kToolEnd},        {"postToolUseFailure", kToolEnd},
    {"beforeShellExecution", kWork},  {"afterShellExecution", kWork},
    {"beforeMCPExecution", kWork},    {"afterMCPExecution", kWork},
    {"beforeReadFile", kWork},        {"afterFileEdit", kWork},
    {"afterAgentResponse", kWork},    {"afterAgentThought", kWork},
    {"subagentStart", kWork},         {"subagentStop", kWork},
    {"preCompact", kWork},            {"stop", kEnd},
    {"sessionEnd", kEnd},             {"sessionStart", kNone},
    {"UserPromptSubmit", kStart},     {"PreToolUse", kToolStart},
    {"PostToolUse", kToolEnd},        {"Stop", kEnd},
    {"SessionEnd", kEnd},             {"SessionStart", kNone},
};

constexpr EventRow kWindsurfEvents[] = {
    {"pre_user_prompt", kStart},         {"pre_run_command", kToolStart},
    {"post_run_command", kToolEnd},      {"pre_mcp_tool_use", kToolStart},
    {"post_mcp_tool_use", kToolEnd},     {"pre_read_code", kWork},
    {"post_read_code", kWork},           {"pre_write_code", kWork},
    {"post_write_code", kWork},          {"post_cascade_response", kEnd},
};

// VS Code runs Claude Code's hooks with payloads of its own.
constexpr EventRow kVsCodeEvents[] = {
    {"UserPromptSubmit", kStart}, {"PreToolUse", kToolStart}, {"PostToolUse", kToolEnd},
    {"SubagentStart", kWork},     {"SubagentStop", kWork},    {"PreCompact", kWork},
    {"Stop", kEnd},               {"SessionStart", kNone},
};

constexpr W kSessionId[] = {"session_id"};
constexpr W kCamelSessionId[] = {"sessionId"};
constexpr W kCursorSession[] = {"conversation_id", "session_id"};
constexpr W kClineSession[] = {"taskId"};
constexpr W kPluginSession[] = {"sessionID"};
constexpr W kWindsurfSession[] = {"trajectory_id"};
constexpr W kCwd[] = {"cwd"};
constexpr W kClineFolder[] = {"workspaceRoots", "cwd"};
constexpr W kCursorFolder[] = {"workspace_roots", "cwd"};
constexpr W kNoFolder[] = {"cwd"};

constexpr HookAgent kAgents[] = {
    {"claude", "Claude Code", kClaudeEvents, kSessionId, kCwd, "CLAUDE_PID"},
    {"codex", "Codex", kCodexEvents, kSessionId, kCwd},
    {"gemini", "Gemini CLI", kGeminiEvents, kSessionId, kCwd},
    {"qwen", "Qwen Code", kQwenEvents, kSessionId, kCwd},
    {"copilot", "GitHub Copilot CLI", kCopilotEvents, kCamelSessionId, kCwd,
     "COPILOT_LOADER_PID"},
    {"opencode", "OpenCode", kPluginEvents, kPluginSession, kCwd, "OPENCODE_PID"},
    {"kilo", "Kilo CLI", kPluginEvents, kPluginSession, kCwd, "KILO_PID"},
    {"cline", "Cline CLI", kClineEvents, kClineSession, kClineFolder},
    {"cursor", "Cursor", kCursorEvents, kCursorSession, kCursorFolder},
    {"windsurf", "Windsurf", kWindsurfEvents, kWindsurfSession, kNoFolder},
    {"vscode", "VS Code", kVsCodeEvents, kCamelSessionId, kCwd},
};

const Json* member(const Json& payload, std::string_view key) {
  if (!payload.is_object()) return nullptr;
  auto found = payload.find(std::string(key));
  return found == payload.end() ? nullptr : &*found;
}

// The first of `keys` that holds a non-empty string (or, for a folder, a
// list that starts with one).
std::string first_text(const Json& payload, std::span<const W> keys) {
  for (W key : keys) {
    const Json* value = member(payload, key);
    if (value == nullptr) continue;
    if (value->is_array() && !value->empty()) value = &value->front();
    if (value->is_string() && !value->get<std::string>().empty()) return value->get<std::string>();
  }
  return {};
}

Step step_of(const HookAgent& agent, std::string_view name, const Json& payload) {
  // Waiting for the user at the prompt is the end of the work, whatever
  // the agent called the turn's end.
  if (name == "Notification") {
    const Json* type = member(payload, "notification_type");
    if (type != nullptr && *type == "idle_prompt") return kEnd;
  }
  for (const EventRow& row : agent.events) {
    if (row.name == name) return row.step;
  }
  return kNone;
}

}  // namespace

std::span<const HookAgent> hook_agents() { return kAgents; }

std::span<const std::string_view> hook_agent_words() {
  static const std::vector<std::string_view> words = [] {
    std::vector<std::string_view> out;
    for (const HookAgent& agent : kAgents) out.push_back(agent.word);
    return out;
  }();
  return words;
}

const HookAgent* find_hook_agent(std::string_view word) {
  for (const HookAgent& agent : kAgents) {
    if (agent.word == word) return &agent;
  }
  return nullptr;
}

std::optional<HookEvent> read_event(std::string_view word, std::string_view event,
                                    const Json& payload) {
  const HookAgent* agent = find_hook_agent(word == "claude-code" ? "claude" : word);
  if (agent == nullptr) return std::nullopt;
  // Claude Code's settings are run by VS Code and Cursor too, each with
  // payloads of its own.
  if (agent->word == "claude") {
    if (member(payload, "cursor_version") != nullptr || member(payload, "conversation_id") != nullptr) {
      agent = find_hook_agent("cursor");
    } else if (member(payload, "hookEventName") != nullptr) {
      agent = find_hook_agent("vscode");
    }
  }
  HookEvent out;
  out.agent = agent;
  out.name = std::string(event);
  if (out.name.empty()) {
    out.name = first_text(payload, std::array<W, 4>{"hook_event_name", "hookEventName",
                                                    "agent_action_name", "hookName"});
  }
  out.step = step_of(*agent, out.name, payload);
  out.session = first_text(payload, agent->session_keys);
  out.folder = first_text(payload, agent->folder_keys);
  return out;
}

}  // namespace vesk::hooks
