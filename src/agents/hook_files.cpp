#include "agents/hook_files.h"

#include <algorithm>
#include <initializer_list>

#include "base/json.h"
#include "base/sha256.h"
#include "base/utf8.h"

namespace vesk::agents {

namespace {

using platform::FolderRule;

// The first line of every script and plugin of ours (after `#!/bin/sh`
// and a byte-order mark), with "# " or "// " before it.
constexpr std::string_view kMarker = "Written by vesk";

constexpr std::string_view kCopilotEvents[] = {
    "agentStop", "errorOccurred", "postToolUse", "sessionEnd", "userPromptSubmitted",
};

constexpr std::string_view kClineEvents[] = {
    "TaskStart",       "TaskResume", "TaskComplete", "TaskError",
    "TaskCancel",      "SessionShutdown", "PreToolUse", "PostToolUse",
};

// PowerShell takes the typographic single quotes for ' as well, so each of
// them is doubled too.
constexpr std::string_view kPowerShellQuotes[] = {"'", "\xE2\x80\x98", "\xE2\x80\x99",
                                                  "\xE2\x80\x9A", "\xE2\x80\x9B"};

std::string display_agent(HookFileAgent agent) {
  switch (agent) {
    case HookFileAgent::kCopilot: return "GitHub Copilot CLI";
    case HookFileAgent::kCline: return "Cline";
    case HookFileAgent::kOpenCode: return "OpenCode";
    case HookFileAgent::kKilo: return "Kilo CLI";
  }
  return {};
}

std::string posix_quoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

std::string powershell_quoted(std::string_view text) {
  std::string out = "'";
  for (std::size_t at = 0; at < text.size();) {
    std::string_view quote;
    for (std::string_view q : kPowerShellQuotes) {
      if (text.substr(at, q.size()) == q) quote = q;
    }
    if (!quote.empty()) {
      out.append(quote).append(quote);
      at += quote.size();
    } else {
      out += text[at++];
    }
  }
  return out + "'";
}

// Reads back what posix_quoted wrote at the start of `text`; nullopt when
// it isn't a quoted word.
std::optional<std::string> posix_unquoted(std::string_view text) {
  if (text.empty() || text[0] != '\'') return std::nullopt;
  std::string out;
  std::size_t at = 1;
  while (true) {
    std::size_t end = text.find('\'', at);
    if (end == std::string_view::npos) return std::nullopt;
    out.append(text.substr(at, end - at));
    if (text.substr(end, 4) != "'\\''") return out;
    out += '\'';
    at = end + 4;
  }
}

std::optional<std::string> powershell_unquoted(std::string_view text) {
  if (text.empty() || text[0] != '\'') return std::nullopt;
  std::string out;
  for (std::size_t at = 1; at < text.size();) {
    std::string_view quote;
    for (std::string_view q : kPowerShellQuotes) {
      if (text.substr(at, q.size()) == q) quote = q;
    }
    if (quote.empty()) {
      out += text[at++];
    } else if (text.substr(at + quote.size(), quote.size()) == quote) {
      out.append(quote);
      at += 2 * quote.size();
    } else {
      return out;
    }
  }
  return std::nullopt;
}

// A JSON string, which is also a JavaScript one; ill-formed UTF-8 replaced.
std::string json_string(std::string_view text) { return compact_json(Json(std::string(text))); }

Status check_quotable(std::string_view program) {
  auto refuse = [&](std::string_view why) {
    // Quoted as JSON: the message stays on one line whatever the path holds.
    return make_error("the path of this program, " + json_string(program) + ", " +
                      std::string(why) + ", so no hook can start it");
  };
  if (program.empty()) return make_error("the path of this program is empty, so no hook can start it");
  if (!valid_utf8(program)) return refuse("isn't valid UTF-8");
  if (program.find('\0') != std::string_view::npos) return refuse("holds a NUL character");
  if (program.find_first_of("\r\n") != std::string_view::npos) return refuse("holds a line break");
  // U+0085, U+2028 and U+2029 end a line for PowerShell too.
  for (std::string_view line_end : {"\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"}) {
    if (program.find(line_end) != std::string_view::npos) return refuse("holds a line break");
  }
  return {};
}

// The text after `prefix` at the start of a line of `text`; nullopt when no
// line starts so.
std::optional<std::string_view> line_after(std::string_view text, std::string_view prefix) {
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    std::string_view line = text.substr(at, end == std::string_view::npos ? end : end - at);
    if (line.substr(0, prefix.size()) == prefix) return line.substr(prefix.size());
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  return std::nullopt;
}

std::string copilot_file(std::string_view program) {
  Json hooks = Json::object();
  for (std::string_view event : kCopilotEvents) {
    Json handler = {
        {"type", "command"},
        {"bash", *hook_command_line(program, HookShell::kPosix, "copilot", event)},
        {"powershell", *hook_command_line(program, HookShell::kPowerShell, "copilot", event)},
        {"timeoutSec", 5},
    };
    hooks[std::string(event)] = Json::array({handler});
  }
  return pretty_json(Json{{"version", 1}, {"hooks", hooks}}) + "\n";
}

// Cline awaits PreToolUse and PostToolUse: the script exits 0 and prints
// nothing whatever vesk does, so that it never holds up or blocks a tool.
std::string cline_posix_script(std::string_view program, std::string_view event) {
  std::string quoted = posix_quoted(program);
  return "#!/bin/sh\n"
         "# " + std::string(kMarker) + " (`vesk connect cline`) so that the computer stays awake\n"
         "# while Cline works; `vesk disconnect cline` deletes it.\n"
         "[ -x " + quoted + " ] || exit 0\n"
         "exec " + quoted + " hook cline " + std::string(event) + " >/dev/null 2>&1\n";
}

std::string cline_powershell_script(std::string_view program, std::string_view event) {
  // The byte-order mark makes Windows PowerShell read the file as UTF-8
  // rather than in the ANSI code page, which would garble a path.
  return std::string(kByteOrderMark) +
         "# " + std::string(kMarker) + " (`vesk connect cline`) so that the computer stays awake\n"
         "# while Cline works; `vesk disconnect cline` deletes it.\n"
         "try { $null = & " + powershell_quoted(program) + " hook cline " + std::string(event) +
         " 2>$null } catch {}\n"
         "exit 0\n";
}

// The plugin spawns `vesk hook` and never waits for it: OpenCode awaits
// the tool hooks, and a throw in one would fail the run.
std::string plugin_file(std::string_view program, std::string_view word, std::string_view display) {
  return "// " + std::string(kMarker) + " (`vesk connect " + std::string(word) +
         "`) so that the computer stays awake while\n"
         "// " + std::string(display) + " works; `vesk disconnect " + std::string(word) +
         "` deletes it.\n"
         "import { spawn } from \"node:child_process\";\n"
         "\n"
         "const program = " + json_string(program) + ";\n"
         "\n"
         "function tell(name, sessionID, cwd) {\n"
         "  try {\n"
         "    const child = spawn(program, [\"hook\", " + json_string(word) + ", name], {\n"
         "      stdio: [\"pipe\", \"ignore\", \"ignore\"],\n"
         "      windowsHide: true,\n"
         "    });\n"
         "    child.on(\"error\", () => {});\n"
         "    child.stdin.on(\"error\", () => {});\n"
         "    child.stdin.end(JSON.stringify({ sessionID, cwd }));\n"
         "    child.unref();\n"
         "  } catch {}\n"
         "}\n"
         "\n"
         "export const VeskPlugin = async (input) => {\n"
         "  let cwd;\n"
         "  try {\n"
         "    cwd = input?.directory ?? process.cwd();\n"
         "  } catch {}\n"
         "  return {\n"
         "    event: async ({ event } = {}) => {\n"
         "      try {\n"
         "        const properties = event?.properties ?? {};\n"
         "        if (event?.type === \"session.status\") {\n"
         "          const type = properties.status?.type;\n"
         "          if (type === \"busy\") tell(\"session.busy\", properties.sessionID, cwd);\n"
         "          else if (type === \"idle\") tell(\"session.idle\", properties.sessionID, cwd);\n"
         "        } else if (event?.type === \"session.idle\") {\n"
         "          tell(\"session.idle\", properties.sessionID, cwd);\n"
         "        }\n"
         "      } catch {}\n"
         "    },\n"
         "    \"tool.execute.before\": async (tool) => {\n"
         "      try {\n"
         "        tell(\"tool.execute.before\", tool?.sessionID, cwd);\n"
         "      } catch {}\n"
         "    },\n"
         "    \"tool.execute.after\": async (tool) => {\n"
         "      try {\n"
         "        tell(\"tool.execute.after\", tool?.sessionID, cwd);\n"
         "      } catch {}\n"
         "    },\n"
         "  };\n"
         "};\n";
}

// The program a Copilot CLI hooks file runs when every one of its hooks is
// `<program> hook copilot <event>`, the same program each time.
std::optional<std::string> copilot_program(std::string_view text) {
  auto parsed = parse_json(text);
  if (!parsed || !parsed->is_object()) return std::nullopt;
  const Json* hooks = member(*parsed, "hooks");
  if (hooks == nullptr || !hooks->is_object() || hooks->empty()) return std::nullopt;
  std::optional<std::string> program;
  for (const auto& [event, handlers] : hooks->items()) {
    if (!handlers.is_array() || handlers.empty()) return std::nullopt;
    for (const Json& handler : handlers) {
      const std::string* bash = string_member(handler, "bash");
      if (bash == nullptr) return std::nullopt;
      auto found = posix_unquoted(*bash);
      if (!found || *bash != posix_quoted(*found) + " hook copilot " + event) return std::nullopt;
      if (program && *program != *found) return std::nullopt;
      program = std::move(found);
    }
  }
  return program;
}

bool starts_with_marker(std::string_view text) {
  text = without_byte_order_mark(text);
  if (text.substr(0, 10) == "#!/bin/sh\n") text.remove_prefix(10);
  for (std::string_view lead : {"# ", "// "}) {
    if (text.substr(0, lead.size()) == lead &&
        text.substr(lead.size(), kMarker.size()) == kMarker) {
      return true;
    }
  }
  return false;
}

bool among(std::string_view name, std::initializer_list<std::string_view> names) {
  for (std::string_view candidate : names) {
    if (candidate == name) return true;
  }
  return false;
}

// The events whose matchers Codex 0.171 leaves out of the hash: they match
// no tool, source or trigger. (SessionEnd's is kept.)
bool codex_ignores_matcher(std::string_view event) {
  return among(event, {"UserPromptSubmit", "Stop", "Interrupt"});
}

// The timeout Codex hashes: 600 s when none is given, at least 1; for the
// events it runs as it shuts down, at most 3, and 1 when none is given.
std::uint64_t codex_timeout(std::string_view event, std::optional<std::uint64_t> given) {
  if (among(event, {"SessionEnd", "Interrupt"})) {
    return given ? std::clamp<std::uint64_t>(*given, 1, 3) : 1;
  }
  return given ? std::max<std::uint64_t>(*given, 1) : 600;
}

}  // namespace

Result<std::string> quote_program(std::string_view program, HookShell shell) {
  TRY(check_quotable(program));
  return shell == HookShell::kPosix ? posix_quoted(program) : "& " + powershell_quoted(program);
}

Result<std::string> hook_command_line(std::string_view program, HookShell shell,
                                      std::string_view word, std::string_view event) {
  TRY_ASSIGN(std::string quoted, quote_program(program, shell));
  return quoted + " hook " + std::string(word) + " " + std::string(event);
}

std::string_view hook_file_agent_word(HookFileAgent agent) {
  switch (agent) {
    case HookFileAgent::kCopilot: return "copilot";
    case HookFileAgent::kCline: return "cline";
    case HookFileAgent::kOpenCode: return "opencode";
    case HookFileAgent::kKilo: return "kilo";
  }
  return {};
}

std::vector<std::string_view> hook_file_events(HookFileAgent agent) {
  switch (agent) {
    case HookFileAgent::kCopilot: return {std::begin(kCopilotEvents), std::end(kCopilotEvents)};
    case HookFileAgent::kCline: return {std::begin(kClineEvents), std::end(kClineEvents)};
    case HookFileAgent::kOpenCode:
    case HookFileAgent::kKilo:
      return {"session.busy", "session.idle", "tool.execute.before", "tool.execute.after"};
  }
  return {};
}

std::vector<std::string> hook_file_names(HookFileAgent agent, FolderRule rule) {
  switch (agent) {
    case HookFileAgent::kCopilot: return {"vesk.json"};
    case HookFileAgent::kOpenCode:
    case HookFileAgent::kKilo: return {"vesk.js"};
    case HookFileAgent::kCline: break;
  }
  std::vector<std::string> names;
  for (std::string_view event : kClineEvents) {
    names.push_back(std::string(event) + (rule == FolderRule::kWindows ? ".ps1" : ""));
  }
  return names;
}

Result<std::vector<HookFile>> hook_files(HookFileAgent agent, std::string_view program,
                                         FolderRule rule) {
  TRY(check_quotable(program));
  std::vector<HookFile> files;
  std::vector<std::string> names = hook_file_names(agent, rule);
  switch (agent) {
    case HookFileAgent::kCopilot:
      files.push_back({names[0], copilot_file(program)});
      break;
    case HookFileAgent::kOpenCode:
    case HookFileAgent::kKilo:
      files.push_back(
          {names[0], plugin_file(program, hook_file_agent_word(agent), display_agent(agent))});
      break;
    case HookFileAgent::kCline:
      for (std::size_t i = 0; i < names.size(); ++i) {
        if (rule == FolderRule::kWindows) {
          files.push_back({names[i], cline_powershell_script(program, kClineEvents[i])});
        } else {
          files.push_back({names[i], cline_posix_script(program, kClineEvents[i]), kScriptMode});
        }
      }
      break;
  }
  return files;
}

bool hook_file_is_ours(std::string_view text) {
  return starts_with_marker(text) || copilot_program(text).has_value();
}

std::optional<std::string> hook_file_program(std::string_view text) {
  if (!starts_with_marker(text)) return copilot_program(text);
  if (auto rest = line_after(text, "exec ")) return posix_unquoted(*rest);
  if (auto rest = line_after(text, "try { $null = & ")) return powershell_unquoted(*rest);
  if (auto rest = line_after(text, "const program = ")) {
    std::size_t end = rest->rfind(';');
    if (end == std::string_view::npos) return std::nullopt;
    auto parsed = parse_json(rest->substr(0, end));
    if (!parsed || !parsed->is_string()) return std::nullopt;
    return parsed->get<std::string>();
  }
  return std::nullopt;
}

std::string codex_event_label(std::string_view event) {
  std::string label;
  for (char c : event) {
    if (c >= 'A' && c <= 'Z') {
      if (!label.empty()) label += '_';
      label += static_cast<char>(c - 'A' + 'a');
    } else {
      label += c;
    }
  }
  return label;
}

std::string codex_hook_key(std::string_view hooks_json_path, std::string_view event,
                           std::size_t group, std::size_t handler) {
  return std::string(hooks_json_path) + ":" + codex_event_label(event) + ":" +
         std::to_string(group) + ":" + std::to_string(handler);
}

std::optional<std::string> codex_trusted_hash(std::string_view event,
                                              std::optional<std::string_view> matcher,
                                              const Json& handler, FolderRule rule) {
  const std::string* type = string_member(handler, "type");
  if (type == nullptr || *type != "command") return std::nullopt;
  const std::string* command = string_member(handler, "command");
  if (command == nullptr) return std::nullopt;
  if (const Json* windows = member(handler, "commandWindows"); windows && !windows->is_null()) {
    if (!windows->is_string()) return std::nullopt;
    if (rule == FolderRule::kWindows) command = &windows->get_ref<const std::string&>();
  }
  // Codex trims with Rust's notion of white space; a command of ours is
  // never blank, so ASCII is near enough to refuse one.
  if (command->find_first_not_of(" \t\r\n\v\f") == std::string::npos) return std::nullopt;

  // Codex hashes the handler as its TOML form would hold it, members
  // without a value left out, then as compact JSON with sorted keys.
  Json normalized = {{"type", "command"}, {"command", *command}};
  std::optional<std::uint64_t> timeout;
  if (const Json* value = member(handler, "timeout"); value && !value->is_null()) {
    // A whole number, however it was made; Codex reads it as unsigned.
    if (!value->is_number_integer()) return std::nullopt;
    if (!value->is_number_unsigned() && value->get<std::int64_t>() < 0) return std::nullopt;
    timeout = value->get<std::uint64_t>();
  }
  normalized["timeout"] = codex_timeout(event, timeout);
  bool is_async = false;
  if (const Json* value = member(handler, "async"); value && !value->is_null()) {
    if (!value->is_boolean()) return std::nullopt;
    is_async = value->get<bool>();
  }
  normalized["async"] = is_async;
  if (const Json* value = member(handler, "statusMessage"); value && !value->is_null()) {
    if (!value->is_string()) return std::nullopt;
    normalized["statusMessage"] = *value;
  }

  Json identity = {{"event_name", codex_event_label(event)},
                   {"hooks", Json::array({normalized})}};
  if (matcher && !codex_ignores_matcher(event)) identity["matcher"] = std::string(*matcher);
  return "sha256:" + sha256_hex(compact_json(identity));
}

}  // namespace vesk::agents
