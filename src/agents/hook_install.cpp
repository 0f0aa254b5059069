#include "agents/hook_install.h"

#include <algorithm>
#include <array>
#include <set>

#include "agents/edit/jsonc_edit.h"
#include "agents/edit/toml_edit.h"
#include "agents/edit/toml_read.h"
#include "agents/hook_files.h"
#include "base/json.h"
#include "base/utf8.h"
#include "platform/fs.h"

namespace vesk::agents {

namespace {

using edit::JsonDialect;
using edit::OrderedJson;
using platform::FolderRule;

// How often a file that another program keeps changing is read and edited
// again before it is left alone.
constexpr int kHookAttempts = 5;
// Seconds (Gemini CLI and Qwen Code: milliseconds) an agent waits for one
// hook before it ends it and goes on; a hook takes far less.
constexpr int kHookTimeoutSeconds = 5;

std::optional<HookFileAgent> file_agent(HookForm form) {
  switch (form) {
    case HookForm::kCopilotFile: return HookFileAgent::kCopilot;
    case HookForm::kClineScripts: return HookFileAgent::kCline;
    case HookForm::kOpenCodePlugin: return HookFileAgent::kOpenCode;
    case HookForm::kKiloPlugin: return HookFileAgent::kKilo;
    default: return std::nullopt;
  }
}

std::string_view word_of(HookForm form) {
  switch (form) {
    case HookForm::kClaudeSettings: return "claude";
    case HookForm::kCodex: return "codex";
    case HookForm::kGeminiSettings: return "gemini";
    case HookForm::kQwenSettings: return "qwen";
    case HookForm::kCursorHooks: return "cursor";
    case HookForm::kWindsurfHooks: return "windsurf";
    default: {
      auto agent = file_agent(form);
      return agent ? hook_file_agent_word(*agent) : std::string_view();
    }
  }
}

// How the agent reads the file that holds its hooks.
JsonDialect dialect_of(HookForm form) {
  switch (form) {
    case HookForm::kClaudeSettings:
    case HookForm::kCodex: return JsonDialect::kStrict;
    case HookForm::kGeminiSettings:
    case HookForm::kQwenSettings: return JsonDialect::kComments;
    default: return JsonDialect::kJsonc;
  }
}

HookShell shell_for(FolderRule rule) {
  return rule == FolderRule::kWindows ? HookShell::kPowerShell : HookShell::kPosix;
}

bool is_vesk_name(std::string_view path) {
  std::string name(platform::file_name(path));
  for (char& c : name) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return name == "vesk" || name == "vesk.exe";
}

// The words of a command line as a shell reads them, far enough to see
// what it starts: '…' (a PowerShell '' or a POSIX '\'' inside), "…", and a
// leading "& ".
std::vector<std::string> command_words(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  auto blank = [&](size_t at) { return line[at] == ' ' || line[at] == '\t'; };
  while (i < line.size() && words.size() < 3) {
    while (i < line.size() && blank(i)) ++i;
    if (i >= line.size()) break;
    if (words.empty() && line.substr(i, 2) == "& ") {
      i += 2;
      continue;
    }
    std::string word;
    while (i < line.size() && !blank(i)) {
      char c = line[i];
      if (c == '\'') {
        for (++i; i < line.size(); ++i) {
          if (line[i] == '\'' && i + 1 < line.size() && line[i + 1] == '\'') {
            word += '\'';
            ++i;
          } else if (line[i] == '\'') {
            break;
          } else {
            word += line[i];
          }
        }
        ++i;
      } else if (c == '"') {
        size_t close = line.find('"', i + 1);
        if (close == std::string_view::npos) close = line.size();
        word += line.substr(i + 1, close - i - 1);
        i = close + 1;
      } else if (c == '\\' && i + 1 < line.size() && line[i + 1] == '\'') {
        word += '\'';
        i += 2;
      } else {
        word += c;
        ++i;
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

// The program a hook handler starts when it is `vesk hook …`.
std::optional<std::string> handler_program(const Json& handler) {
  if (!handler.is_object()) return std::nullopt;
  auto command = handler.find("command");
  auto args = handler.find("args");
  if (command != handler.end() && command->is_string() && args != handler.end() &&
      args->is_array()) {
    // The exec form: the program and its arguments apart.
    const std::string program = command->get<std::string>();
    if (is_vesk_name(program) && !args->empty() && args->front() == "hook") return program;
    return std::nullopt;
  }
  for (const char* key : {"command", "bash", "powershell"}) {
    auto line = handler.find(key);
    if (line == handler.end() || !line->is_string()) continue;
    std::vector<std::string> words = command_words(line->get<std::string>());
    if (words.size() >= 2 && is_vesk_name(words[0]) && words[1] == "hook") return words[0];
  }
  return std::nullopt;
}

// The program an element of an event's list starts when it is vesk's: for
// the forms with groups, every handler of the group is `vesk hook`.
std::optional<std::string> element_program(HookForm form, const Json& element) {
  if (form == HookForm::kCursorHooks || form == HookForm::kWindsurfHooks) {
    return handler_program(element);
  }
  if (!element.is_object()) return std::nullopt;
  auto hooks = element.find("hooks");
  if (hooks == element.end() || !hooks->is_array() || hooks->empty()) return std::nullopt;
  std::optional<std::string> program;
  for (const Json& handler : *hooks) {
    program = handler_program(handler);
    if (!program) return std::nullopt;
  }
  return program;
}

// The cmd.exe line Codex runs on Windows: the program in double quotes when
// it needs them.
std::string cmd_line(const std::string& program, std::string_view event) {
  bool plain = program.find_first_of(" \t&()[]{}^=;!'+,`~\"%") == std::string::npos;
  return (plain ? program : "\"" + program + "\"") + " hook codex " + std::string(event);
}

// The element vesk puts in the list of `event`.
Result<OrderedJson> element_for(HookForm form, const std::string& program, const std::string& event,
                                FolderRule rule) {
  const std::string word(word_of(form));
  TRY_ASSIGN(std::string line, hook_command_line(program, shell_for(rule), word, event));
  OrderedJson handler = OrderedJson::object();
  switch (form) {
    case HookForm::kClaudeSettings:
      // The exec form: Claude Code starts the program itself, no shell.
      handler["type"] = "command";
      handler["command"] = program;
      handler["args"] = OrderedJson::array({"hook", word, event});
      handler["timeout"] = kHookTimeoutSeconds;
      break;
    case HookForm::kCodex: {
      TRY_ASSIGN(std::string posix, hook_command_line(program, HookShell::kPosix, word, event));
      handler["type"] = "command";
      handler["command"] = posix;
      handler["commandWindows"] = cmd_line(program, event);
      handler["timeout"] = kHookTimeoutSeconds;
      break;
    }
    case HookForm::kGeminiSettings:
      handler["name"] = "vesk";
      handler["type"] = "command";
      handler["command"] = line;
      handler["timeout"] = kHookTimeoutSeconds * 1000;
      break;
    case HookForm::kQwenSettings:
      handler["type"] = "command";
      handler["command"] = line;
      handler["timeout"] = kHookTimeoutSeconds * 1000;
      if (rule == FolderRule::kWindows) handler["shell"] = "powershell";
      break;
    case HookForm::kCursorHooks:
      handler["command"] = line;
      return handler;
    case HookForm::kWindsurfHooks:
      handler["command"] = line;
      handler["show_output"] = false;
      return handler;
    default: return Error{"no hooks"};
  }
  OrderedJson group = OrderedJson::object();
  if (form == HookForm::kGeminiSettings || form == HookForm::kQwenSettings) group["matcher"] = "";
  group["hooks"] = OrderedJson::array({handler});
  return group;
}

Json plain(const OrderedJson& value) { return Json::parse(value.dump()); }

Error about(const std::string& file, std::string_view phrase) {
  return Error{decode_lossy(file) + std::string(phrase)};
}

// One JSON file of hooks, worked out from one version of it.
struct JsonPlan {
  std::optional<std::string> text;  // nullopt: nothing to write
  bool had = false;                 // vesk's hooks were there before
  bool changed = false;
  // Per event: where vesk's element was before and is after (Codex's trust).
  std::vector<std::pair<std::string, std::vector<size_t>>> before, after;
};

Result<JsonPlan> plan_json(HookForm form, const std::string& file, const std::string& text,
                           const std::string& program, FolderRule rule, bool remove,
                           const std::string* only_program) {
  const JsonDialect dialect = dialect_of(form);
  auto read = edit::jsonc_member(text, {}, dialect);
  if (!read) return about(file, read.message());
  Json doc = *read ? **read : Json::object();
  auto hooks = doc.find("hooks");
  if (hooks != doc.end() && !hooks->is_object()) {
    return about(file, " has \"hooks\" as something other than an object, so I left it alone");
  }
  JsonPlan plan;
  Json expected = doc;
  std::string edited = text;
  for (const std::string& event : hook_events(form)) {
    const std::array<std::string, 2> path{"hooks", event};
    Json list = Json::array();
    bool listed = false;
    if (hooks != doc.end()) {
      auto found = hooks->find(event);
      if (found != hooks->end()) {
        if (!found->is_array()) {
          return about(file, " has \"hooks\" \"" + event +
                                 "\" as something other than a list, so I left it alone");
        }
        list = *found;
        listed = true;
      }
    }
    std::vector<size_t> ours;
    for (size_t k = 0; k < list.size(); ++k) {
      auto started = element_program(form, list[k]);
      if (!started) continue;
      if (only_program && !starts_this_program(*started, *only_program)) continue;
      ours.push_back(k);
    }
    plan.had = plan.had || !ours.empty();
    plan.before.push_back({event, ours});
    Json kept = Json::array();
    for (size_t k = 0; k < list.size(); ++k) {
      if (std::find(ours.begin(), ours.end(), k) == ours.end()) kept.push_back(list[k]);
    }
    if (remove) {
      plan.after.push_back({event, {}});
      if (ours.empty()) continue;
      for (size_t k = ours.size(); k-- > 0;) {
        auto cut = edit::jsonc_remove_element(edited, path, ours[k], dialect);
        if (!cut) return about(file, cut.message());
        edited = std::move(*cut);
      }
      if (kept.empty()) {
        // The list held only vesk's: it goes, as connect made it.
        auto gone = edit::jsonc_remove_member(edited, path, dialect);
        if (!gone) return about(file, gone.message());
        if (*gone) edited = std::move(**gone);
        expected["hooks"].erase(event);
      } else {
        expected["hooks"][event] = kept;
      }
      plan.changed = true;
      continue;
    }
    TRY_ASSIGN(OrderedJson element, element_for(form, program, event, rule));
    const Json wanted = plain(element);
    plan.after.push_back({event, {kept.size()}});
    if (ours.size() == 1 && ours.front() == list.size() - 1 && list[ours.front()] == wanted) {
      continue;  // in place, and last
    }
    for (size_t k = ours.size(); k-- > 0;) {
      auto cut = edit::jsonc_remove_element(edited, path, ours[k], dialect);
      if (!cut) return about(file, cut.message());
      edited = std::move(*cut);
    }
    auto added = edit::jsonc_append_element(edited, path, element, dialect);
    if (!added) return about(file, added.message());
    edited = std::move(*added);
    kept.push_back(wanted);
    if (!expected["hooks"].is_object()) expected["hooks"] = Json::object();
    expected["hooks"][event] = kept;
    plan.changed = true;
    (void)listed;
  }
  if (remove && expected.contains("hooks") && expected["hooks"].is_object() &&
      expected["hooks"].empty() && hooks != doc.end() && plan.changed) {
    auto gone = edit::jsonc_remove_member(edited, std::array<std::string, 1>{"hooks"}, dialect);
    if (!gone) return about(file, gone.message());
    if (*gone) {
      edited = std::move(**gone);
      expected.erase("hooks");
    }
  }
  // A new hooks.json of Cursor's says which version of the format it is in.
  if (!remove && plan.changed && form == HookForm::kCursorHooks && !*read) {
    auto set = edit::jsonc_set_member(edited, std::array<std::string, 1>{"version"}, OrderedJson(1),
                                      dialect);
    if (!set) return about(file, set.message());
    edited = std::move(*set);
    expected["version"] = 1;
  }
  if (!plan.changed) return plan;
  // Read back as the agent reads it: only vesk's hooks may differ.
  auto after = edit::jsonc_member(edited, {}, dialect);
  Json got = after && *after ? **after : Json::object();
  if (!after || got != expected) {
    return about(file, " has a shape I can't edit safely, so I left it alone");
  }
  plan.text = std::move(edited);
  return plan;
}

// Reads, plans and writes one file, again while another program changes it.
template <typename PlanFn>
Result<JsonPlan> edit_hook_file(const std::string& file, AgentFiles& files, PlanFn plan_for) {
  JsonPlan last;
  TRY(edit_until_written(file, files,
                         [&](const FileVersion& version) -> Result<std::optional<std::string>> {
                           TRY_ASSIGN(last, plan_for(version.bytes.value_or(std::string())));
                           return last.text;
                         }));
  return last;
}

// Codex trusts the hooks at their places in hooks.json: the trust of the
// places vesk's hooks had goes, that of the places they have is written.
Status trust_codex_hooks(const AgentPlace& place, const JsonPlan& plan, const std::string& program,
                         AgentFiles& files, FolderRule rule) {
  std::set<std::string> old_keys, new_keys;
  std::vector<std::pair<std::string, std::string>> trust;  // key, hash
  for (const auto& [event, places] : plan.before) {
    for (size_t group : places) old_keys.insert(codex_hook_key(place.hooks, event, group, 0));
  }
  for (const auto& [event, places] : plan.after) {
    for (size_t group : places) {
      TRY_ASSIGN(OrderedJson element, element_for(HookForm::kCodex, program, event, rule));
      std::string key = codex_hook_key(place.hooks, event, group, 0);
      auto hash = codex_trusted_hash(event, std::nullopt, plain(element["hooks"][0]), rule);
      if (!hash) return Error{"couldn't work out Codex's trust of its " + event + " hook"};
      new_keys.insert(key);
      trust.push_back({key, *hash});
    }
  }
  const std::string& config = place.file;
  auto edited = edit_hook_file(config, files, [&](const std::string& text) -> Result<JsonPlan> {
    std::string out = text;
    for (const std::string& key : old_keys) {
      if (new_keys.count(key)) continue;
      auto cut = edit::toml_remove_table(out, {"hooks", "state", key});
      if (!cut) return about(config, cut.message());
      if (*cut) out = std::move(**cut);
    }
    for (const auto& [key, hash] : trust) {
      auto set = edit::toml_set_keys(out, {"hooks", "state", key},
                                     {{"trusted_hash", toml_basic_string(hash)}});
      if (!set) return about(config, set.message());
      out = std::move(*set);
    }
    JsonPlan plan_out;
    if (out != text) plan_out.text = std::move(out);
    return plan_out;
  });
  if (!edited) return edited.error();
  return {};
}

// The files vesk owns: written whole, or taken out when they are vesk's.
Result<Change> own_files(HookFileAgent agent, const AgentPlace& place, const std::string& program,
                         AgentFiles& files, FolderRule rule, bool remove,
                         const std::string* only_program) {
  Change change{remove ? Change::Kind::kAbsent : Change::Kind::kUnchanged, {}, false};
  if (remove) {
    for (const std::string& name : hook_file_names(agent, rule)) {
      const std::string path = platform::join_path(place.hooks, name);
      for (int attempt = 0;; ++attempt) {
        if (attempt == kHookAttempts) {
          return about(path, " keeps being changed by another program, so I left it alone.");
        }
        TRY_ASSIGN(FileVersion version, files.read(path));
        if (!version.bytes || !hook_file_is_ours(*version.bytes)) break;
        if (only_program) {
          auto started = hook_file_program(*version.bytes);
          if (started && !starts_this_program(*started, *only_program)) break;
        }
        TRY_ASSIGN(bool removed, files.remove(path, version));
        if (removed) {
          change.kind = Change::Kind::kRemoved;
          break;
        }
      }
    }
    return change;
  }
  TRY_ASSIGN(std::vector<HookFile> wanted, hook_files(agent, program, rule));
  bool any = false, all = true;
  for (const HookFile& file : wanted) {
    const std::string path = platform::join_path(place.hooks, file.name);
    for (int attempt = 0;; ++attempt) {
      if (attempt == kHookAttempts) {
        return about(path, " keeps being changed by another program, so I left it alone.");
      }
      TRY_ASSIGN(FileVersion version, files.read(path));
      if (version.bytes && !hook_file_is_ours(*version.bytes)) {
        return about(path, " is a hook of your own, so I left it alone and put none of Vesk's "
                           "there");
      }
      any = any || version.bytes.has_value();
      if (version.bytes == file.text) break;
      all = false;
      if (version.bytes) {
        // An older one of vesk's own: no backup of it is worth keeping.
        TRY_ASSIGN(bool removed, files.remove(path, version));
        if (!removed) continue;
        version = FileVersion{};
      }
      TRY_ASSIGN(bool written, files.write(path, file.text, version, file.mode));
      if (written) break;
    }
  }
  if (!all) change.kind = any ? Change::Kind::kUpdated : Change::Kind::kAdded;
  return change;
}

}  // namespace

std::vector<std::string> hook_events(HookForm form) {
  switch (form) {
    case HookForm::kClaudeSettings:
      return {"UserPromptSubmit", "PreToolUse", "PostToolUse", "PostToolUseFailure", "Stop",
              "StopFailure",      "Interrupt",  "SessionEnd",  "Notification"};
    case HookForm::kCodex:
      return {"UserPromptSubmit", "PreToolUse", "PostToolUse", "Stop", "Interrupt", "SessionEnd"};
    case HookForm::kGeminiSettings:
      return {"BeforeAgent", "BeforeTool", "AfterTool", "AfterAgent", "SessionEnd"};
    case HookForm::kQwenSettings:
      return {"UserPromptSubmit", "PreToolUse", "PostToolUse", "Stop", "SessionEnd",
              "Notification"};
    case HookForm::kCursorHooks:
      return {"beforeSubmitPrompt", "afterShellExecution", "afterMCPExecution", "stop",
              "sessionEnd"};
    case HookForm::kWindsurfHooks:
      return {"pre_user_prompt", "post_run_command", "post_mcp_tool_use", "post_cascade_response"};
    default: {
      std::vector<std::string> out;
      if (auto agent = file_agent(form)) {
        for (std::string_view event : hook_file_events(*agent)) out.emplace_back(event);
      }
      return out;
    }
  }
}

Result<Change> connect_hooks(const AgentSpec& spec, const AgentPlace& place,
                             const std::string& program, AgentFiles& files, FolderRule rule) {
  if (spec.hooks == HookForm::kNone || place.hooks.empty()) return Change{};
  if (auto agent = file_agent(spec.hooks)) {
    return own_files(*agent, place, program, files, rule, false, nullptr);
  }
  TRY_ASSIGN(JsonPlan plan, edit_hook_file(place.hooks, files, [&](const std::string& text) {
               return plan_json(spec.hooks, place.hooks, text, program, rule, false, nullptr);
             }));
  if (spec.hooks == HookForm::kCodex) TRY(trust_codex_hooks(place, plan, program, files, rule));
  Change change;
  if (plan.changed) change.kind = plan.had ? Change::Kind::kUpdated : Change::Kind::kAdded;
  return change;
}

Result<Change> disconnect_hooks(const AgentSpec& spec, const AgentPlace& place, AgentFiles& files,
                                FolderRule rule, const std::string* only_program) {
  if (spec.hooks == HookForm::kNone || place.hooks.empty()) {
    return Change{Change::Kind::kAbsent, {}, false};
  }
  if (auto agent = file_agent(spec.hooks)) {
    return own_files(*agent, place, std::string(), files, rule, true, only_program);
  }
  TRY_ASSIGN(JsonPlan plan, edit_hook_file(place.hooks, files, [&](const std::string& text) {
               return plan_json(spec.hooks, place.hooks, text, std::string(), rule, true,
                                only_program);
             }));
  if (spec.hooks == HookForm::kCodex && plan.had) {
    TRY(trust_codex_hooks(place, plan, std::string(), files, rule));
  }
  return Change{plan.changed ? Change::Kind::kRemoved : Change::Kind::kAbsent, {}, false};
}

Result<HookState> hook_state(const AgentSpec& spec, const AgentPlace& place,
                             const std::string& program, AgentFiles& files, FolderRule rule) {
  HookState state;
  if (spec.hooks == HookForm::kNone || place.hooks.empty()) return state;
  if (auto agent = file_agent(spec.hooks)) {
    TRY_ASSIGN(std::vector<HookFile> wanted, hook_files(*agent, program, rule));
    state.complete = true;
    for (const HookFile& file : wanted) {
      TRY_ASSIGN(FileVersion version, files.read(platform::join_path(place.hooks, file.name)));
      bool ours = version.bytes && hook_file_is_ours(*version.bytes);
      state.any = state.any || ours;
      state.complete = state.complete && version.bytes == file.text;
    }
    return state;
  }
  TRY_ASSIGN(FileVersion version, files.read(place.hooks));
  TRY_ASSIGN(JsonPlan plan, plan_json(spec.hooks, place.hooks, version.bytes.value_or(""), program,
                                      rule, false, nullptr));
  state.any = plan.had;
  state.complete = !plan.changed;
  if (spec.hooks == HookForm::kCodex && state.complete) {
    // Each hook's trust is in config.toml, with the hash Codex would give it.
    TRY_ASSIGN(FileVersion config, files.read(place.file));
    auto doc = edit::toml_document(config.bytes.value_or(""));
    if (!doc) return about(place.file, doc.message());
    for (const auto& [event, places] : plan.after) {
      for (size_t group : places) {
        TRY_ASSIGN(OrderedJson element, element_for(HookForm::kCodex, program, event, rule));
        auto hash = codex_trusted_hash(event, std::nullopt, plain(element["hooks"][0]), rule);
        const Json* at = &*doc;
        for (const std::string& key :
             {std::string("hooks"), std::string("state"), codex_hook_key(place.hooks, event, group, 0),
              std::string("trusted_hash")}) {
          if (at == nullptr || !at->is_object() || !at->contains(key)) {
            at = nullptr;
            break;
          }
          at = &(*at)[key];
        }
        state.trusted = state.trusted && at != nullptr && hash && *at == *hash;
      }
    }
  }
  return state;
}

}  // namespace vesk::agents
