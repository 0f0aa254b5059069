#include "mcp/tools.h"

#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <string>

#include "base/text.h"
#include "settings/catalogue.h"

namespace vesk::mcp {

namespace {

using V = std::string_view;

// What a call does, as the hints of its "annotations" say it: clients let
// tools that only read run freely, and ask the user (or refuse) before tools
// that say nothing about themselves, destroy things or reach beyond the
// machine. No vesk tool destroys anything or reaches out: each change stays
// on this machine, and the restore engine can put it back.
enum class Effect {
  kReads,    // reads only; the same answer for the same state
  kChanges,  // changes the tray app's state; repeating it changes nothing more
  kAdds,     // changes it, and every call adds something (a hold)
};

// An argument's schema: "description", "enum" and "type", each left out
// when empty.
struct ArgRow {
  V name;
  V type;
  V description = {};
  std::span<const V> choices = {};
};

// How a call becomes its request, for a tool whose arguments don't go to
// the tray app unchanged.
using Mapper = Result<ToolRequest> (*)(Json args, uint32_t pid);

// One tool: what "tools/list" shows of it and how a call of it becomes a
// request: the request kind for the tools whose arguments go to the tray
// app unchanged, else a mapper; neither for setup_prompt, answered locally.
struct ToolRow {
  V name;
  V title;
  Effect effect;
  V kind;
  V description;
  std::span<const ArgRow> args = {};
  std::span<const V> required = {};
  Mapper map = nullptr;
};

Json strings(std::span<const V> items) {
  Json out = Json::array();
  for (V item : items) out.push_back(std::string(item));
  return out;
}

Json argument_schema(const ArgRow& arg) {
  Json out = Json::object();
  if (!arg.description.empty()) out["description"] = std::string(arg.description);
  if (!arg.choices.empty()) out["enum"] = strings(arg.choices);
  if (!arg.type.empty()) out["type"] = std::string(arg.type);
  return out;
}

Json annotations(const ToolRow& row) {
  Json out = Json::object();
  out["destructiveHint"] = false;
  out["idempotentHint"] = row.effect != Effect::kAdds;
  out["openWorldHint"] = false;
  out["readOnlyHint"] = row.effect == Effect::kReads;
  out["title"] = std::string(row.title);
  return out;
}

Json tool_object(const ToolRow& row) {
  Json properties = Json::object();
  for (const ArgRow& arg : row.args) properties[std::string(arg.name)] = argument_schema(arg);
  Json schema = Json::object();
  schema["additionalProperties"] = false;
  schema["properties"] = std::move(properties);
  schema["required"] = strings(row.required);
  schema["type"] = "object";
  Json out = Json::object();
  out["annotations"] = annotations(row);
  out["description"] = std::string(row.description);
  out["inputSchema"] = std::move(schema);
  out["name"] = std::string(row.name);
  out["title"] = std::string(row.title);
  return out;
}

constexpr V kModes[] = {"off", "auto", "always"};

constexpr ArgRow kStayAwakeArgs[] = {
    {"minutes", "number", "Optional limit (max 10080 = 7 days)"},
    {"reason", "string", "Shown in the tray menu, e.g. 'Running the test suite'"},
};
constexpr ArgRow kReleaseArgs[] = {{"id", "string"}};
constexpr ArgRow kSetModeArgs[] = {{"minutes", "number"}, {"mode", "string", {}, kModes}};
constexpr V kSetModeRequired[] = {"mode"};
constexpr ArgRow kSetPresetArgs[] = {{"preset", "string", {}, settings::kPresetNames}};
constexpr V kSetPresetRequired[] = {"preset"};
constexpr ArgRow kSetAppRuleArgs[] = {
    {"app", "string", "Executable name, e.g. chrome, spotify, slack"},
    {"rule", "string", {}, settings::kRuleActions},
};
constexpr V kSetAppRuleRequired[] = {"app", "rule"};
constexpr ArgRow kWatchAppArgs[] = {{"app", "string"}, {"remove", "boolean"}};
constexpr V kWatchAppRequired[] = {"app"};
constexpr V kSetSettingRequired[] = {"key", "value"};


constexpr V kSetupPrompt =
    "Vesk is installed on this laptop. It keeps the machine awake with the lid closed while "
    "you (and other agents) work, and cuts power use while the lid is shut. You can control "
    "all of it through the `vesk` MCP tools (or the `vesk` command). Set it up for me:\n"
    "\n"
    "1. Call settings and power to see every setting and what is using power right now.\n"
    "2. Ask me, in one short message: which apps must keep running at full speed with the "
    "lid shut (music, calls, a local model, Docker...), and whether the laptop should stay "
    "awake only while agents work or always.\n"
    "3. Apply the strongest savings that don't touch what I named: preset max_battery, "
    "low_power, and per-app rules with set_app_rule.\n"
    "4. From now on, call stay_awake before long work and release when it's done.\n"
    "\n"
    "Never turn off the heat guard or lower the battery limit; Vesk won't let you, and "
    "that's on purpose.";

constexpr V kSetupPromptTitle = "Set up Vesk";
constexpr V kDefaultReason = "Asked by an agent";

// The answer to a release whose id is no hold id.
constexpr V kNotAHoldId =
    "id must be a hold id, the text in hold.id of stay_awake's answer (such as \"3\"); leave "
    "it out to end all of this session's holds.";

// A hold id as the tray app knows it: a string as it is, and a whole number
// (models often send 3 for "3") as its decimal text, also when written with
// a fraction or an exponent (3.0) as long as it is exact (up to 2^53);
// nullopt for anything else.
std::optional<std::string> hold_id_text(const Json& id) {
  if (id.is_string()) return id.get<std::string>();
  if (id.is_number_unsigned()) return std::to_string(id.get<uint64_t>());
  if (id.is_number_integer()) return std::to_string(id.get<int64_t>());
  if (id.is_number_float()) {
    double value = id.get<double>();
    constexpr double kExact = 9007199254740992.0;  // 2^53
    if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) <= kExact) {
      return std::to_string(static_cast<int64_t>(value));
    }
  }
  return std::nullopt;
}

// The requests of the tools whose arguments don't go to the tray app
// unchanged: a hold carries the session's process id and a reason, a
// release names the session and, when given, one hold.
Result<ToolRequest> map_stay_awake(Json args, uint32_t pid) {
  const std::string* reason = string_member(args, "reason");
  if (reason == nullptr || blank(*reason)) args["reason"] = std::string(kDefaultReason);
  args["pid"] = pid;
  return ToolRequest{"hold", std::move(args)};
}

Result<ToolRequest> map_release(Json args, uint32_t pid) {
  Json payload = Json::object();
  payload["pid"] = pid;
  const Json* id = member(args, "id");
  if (id == nullptr || id->is_null()) return ToolRequest{"release_pid", std::move(payload)};
  std::optional<std::string> text = hold_id_text(*id);
  if (!text) return Error{std::string(kNotAHoldId)};
  payload["id"] = std::move(*text);
  return ToolRequest{"release_own", std::move(payload)};
}

// The catalogue, in its fixed order.
std::span<const ToolRow> tool_rows() {
  static const std::span<const V> kSettingKeys = settings::setting_keys();
  static const ArgRow kSetSettingArgs[] = {
      {"key", "string", {}, kSettingKeys},
      {"value", {}, "Number, on/off, or text"},
  };
  static const ToolRow kRows[] = {
      {"status", "Vesk status", Effect::kReads, "status",
       "What Vesk is doing: whether closing the lid keeps the machine working, battery %, "
       "hours left with the lid closed, which agents it sees and whether they're working, and "
       "the apps using the most CPU."},
      {"stay_awake", "Keep the laptop awake", Effect::kAdds, {},
       "Keep the machine awake, including with the lid closed, until released, for a number "
       "of minutes, or until this session ends. Use before long unattended work.",
       kStayAwakeArgs, {}, map_stay_awake},
      {"release", "Release my keep-awake", Effect::kChanges, {},
       "End a stay_awake hold this session made (by id), or all of this session's holds when "
       "no id is given.",
       kReleaseArgs, {}, map_release},
      {"set_mode", "Set the keep-awake mode", Effect::kChanges, "mode",
       "off = never keep awake; auto (When Busy) = only while an agent is working; always = "
       "until turned off or for a number of minutes.",
       kSetModeArgs, kSetModeRequired},
      {"set_preset", "Set the battery preset", Effect::kChanges, "preset",
       "How hard to save battery while the lid is closed.", kSetPresetArgs, kSetPresetRequired},
      {"set_app_rule", "Set an app's lid-closed rule", Effect::kChanges, "rule",
       "What happens to an app while the lid is closed: leave it, slow it, pause it (frozen "
       "until the lid opens), or default (back to the preset).",
       kSetAppRuleArgs, kSetAppRuleRequired},
      {"watch_app", "Keep awake while an app works", Effect::kChanges, "watch",
       "Make an app keep the machine awake while it's busy (e.g. blender, ffmpeg), or stop "
       "watching it.",
       kWatchAppArgs, kWatchAppRequired},
      {"energy", "Apps using energy", Effect::kReads, "energy",
       "Apps using the most CPU right now and what happens to each while the lid is closed."},
      {"settings", "Vesk settings", Effect::kReads, "schema",
       "List every Vesk setting with its current value, allowed values, what it does and any "
       "safety rule. Read this before changing settings."},
      {"set_setting", "Change a Vesk setting", Effect::kChanges, "set",
       "Change one setting (see settings for every key and what it does). Safety settings can "
       "only be made stricter from here: battery_floor can only go up and heat_guard can only "
       "be turned on.",
       kSetSettingArgs, kSetSettingRequired},
      {"power", "Power use", Effect::kReads, "power",
       "Power use right now and what is using it, with the setting that would cut each (busy "
       "apps, preset, power saver), plus what the laptop learned it draws open and closed."},
      {"setup_prompt", "How to set up Vesk", Effect::kReads, {},
       "The recommended steps for setting Vesk up with the person. Use when asked to set up or "
       "tune Vesk."},
  };
  return kRows;
}

constexpr V kSetupPromptDescription =
    "Have the agent set Vesk up with you: it looks at the settings and what uses power, asks "
    "what must keep running with the lid shut, and applies the strongest savings that allow it.";

}  // namespace

Json tool_list() {
  Json tools = Json::array();
  for (const ToolRow& row : tool_rows()) tools.push_back(tool_object(row));
  return tools;
}

std::optional<Result<ToolRequest>> map_tool_call(std::string_view name, const Json& arguments,
                                                 uint32_t pid) {
  Json args = arguments.is_object() ? arguments : Json::object();
  for (const ToolRow& row : tool_rows()) {
    if (row.name != name) continue;
    if (row.map != nullptr) return row.map(std::move(args), pid);
    if (row.kind.empty()) return std::nullopt;
    return ToolRequest{std::string(row.kind), std::move(args)};
  }
  return std::nullopt;
}

std::string_view setup_prompt() { return kSetupPrompt; }

Json prompt_list() {
  Json prompt = Json::object();
  prompt["description"] = std::string(kSetupPromptDescription);
  prompt["name"] = std::string(kSetupPromptName);
  prompt["title"] = std::string(kSetupPromptTitle);
  Json prompts = Json::array();
  prompts.push_back(std::move(prompt));
  return prompts;
}

std::optional<Json> get_prompt(std::string_view name) {
  if (name != kSetupPromptName) return std::nullopt;
  Json content = Json::object();
  content["text"] = std::string(kSetupPrompt);
  content["type"] = "text";
  Json message = Json::object();
  message["content"] = std::move(content);
  message["role"] = "user";
  Json out = Json::object();
  out["description"] = std::string(kSetupPromptDescription);
  out["messages"] = Json::array();
  out["messages"].push_back(std::move(message));
  return out;
}

}  // namespace vesk::mcp
