#include "mcp/tools.h"

#include <initializer_list>
#include <span>

#include "base/text.h"
#include "settings/catalogue.h"

namespace vesk::mcp {

namespace {

using V = std::string_view;

// Builders that spell out object and array, so that no brace list is
// mistaken for the other.
Json strings(std::span<const V> items) {
  Json out = Json::array();
  for (V item : items) out.push_back(std::string(item));
  return out;
}
Json strings(std::initializer_list<V> items) { return strings(std::span(items.begin(), items.size())); }

// An argument's schema: "description", "enum" and "type", each left out
// when empty (`any_enum` null for no enum).
Json argument(V type, V description = {}, Json any_enum = nullptr) {
  Json out = Json::object();
  if (!description.empty()) out["description"] = std::string(description);
  if (!any_enum.is_null()) out["enum"] = std::move(any_enum);
  if (!type.empty()) out["type"] = std::string(type);
  return out;
}

struct Arg {
  V name;
  Json schema;
};

Json tool(V name, V description, std::initializer_list<Arg> args = {},
          std::initializer_list<V> required = {}) {
  Json properties = Json::object();
  for (const Arg& a : args) properties[std::string(a.name)] = a.schema;
  Json schema = Json::object();
  schema["additionalProperties"] = false;
  schema["properties"] = std::move(properties);
  schema["required"] = strings(required);
  schema["type"] = "object";
  Json out = Json::object();
  out["description"] = std::string(description);
  out["inputSchema"] = std::move(schema);
  out["name"] = std::string(name);
  return out;
}

constexpr V kDefaultReason = "Asked by an agent";

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

}  // namespace

Json tool_list() {
  Json tools = Json::array();
  tools.push_back(tool(
      "status",
      "What Vesk is doing: whether closing the lid keeps the machine working, battery %, hours "
      "left with the lid closed, which agents it sees and whether they're working, and the "
      "apps using the most CPU."));
  tools.push_back(tool(
      "stay_awake",
      "Keep the machine awake, including with the lid closed, until released, for a number of "
      "minutes, or until this session ends. Use before long unattended work.",
      {{"minutes", argument("number", "Optional limit (max 10080 = 7 days)")},
       {"reason", argument("string", "Shown in the tray menu, e.g. 'Running the test suite'")}}));
  tools.push_back(tool(
      "release",
      "End a stay_awake hold this session made (by id), or all of this session's holds when no "
      "id is given.",
      {{"id", argument("string")}}));
  tools.push_back(tool(
      "set_mode",
      "off = never keep awake; auto (When Busy) = only while an agent is working; always = "
      "until turned off or for a number of minutes.",
      {{"minutes", argument("number")},
       {"mode", argument("string", {}, strings({"off", "auto", "always"}))}},
      {"mode"}));
  tools.push_back(tool(
      "set_preset", "How hard to save battery while the lid is closed.",
      {{"preset", argument("string", {}, strings(settings::kPresetNames))}},
      {"preset"}));
  tools.push_back(tool(
      "set_app_rule",
      "What happens to an app while the lid is closed: leave it, slow it, pause it (frozen "
      "until the lid opens), or default (back to the preset).",
      {{"app", argument("string", "Executable name, e.g. chrome, spotify, slack")},
       {"rule", argument("string", {}, strings(settings::kRuleActions))}},
      {"app", "rule"}));
  tools.push_back(tool(
      "watch_app",
      "Make an app keep the machine awake while it's busy (e.g. blender, ffmpeg), or stop "
      "watching it.",
      {{"app", argument("string")}, {"remove", argument("boolean")}}, {"app"}));
  tools.push_back(tool(
      "energy",
      "Apps using the most CPU right now and what happens to each while the lid is closed."));
  tools.push_back(tool(
      "settings",
      "List every Vesk setting with its current value, allowed values, what it does and any "
      "safety rule. Read this before changing settings."));
  tools.push_back(tool(
      "set_setting",
      "Change one setting (see settings for every key and what it does). Safety settings can "
      "only be made stricter from here: battery_floor can only go up and heat_guard can only "
      "be turned on.",
      {{"key", argument("string", {}, strings(settings::setting_keys()))},
       {"value", argument({}, "Number, on/off, or text")}},
      {"key", "value"}));
  tools.push_back(tool(
      "power",
      "Power use right now and what is using it, with the setting that would cut each (busy "
      "apps, preset, power saver), plus what the laptop learned it draws open and closed."));
  tools.push_back(tool(
      "setup_prompt",
      "The recommended steps for setting Vesk up with the person. Use when asked to set up or "
      "tune Vesk."));
  return tools;
}

std::optional<ToolRequest> map_tool_call(std::string_view name, const Json& arguments,
                                         uint32_t pid) {
  Json args = arguments.is_object() ? arguments : Json::object();

  // Tools whose arguments pass through unchanged.
  static constexpr struct {
    V tool, kind;
  } kPlain[] = {
      {"status", "status"}, {"energy", "energy"},     {"set_mode", "mode"},
      {"set_preset", "preset"}, {"set_app_rule", "rule"}, {"watch_app", "watch"},
      {"set_setting", "set"},   {"settings", "schema"},   {"power", "power"},
  };
  for (const auto& row : kPlain) {
    if (row.tool == name) return ToolRequest{std::string(row.kind), std::move(args)};
  }

  if (name == "stay_awake") {
    const std::string* reason = string_member(args, "reason");
    if (reason == nullptr || blank(*reason)) args["reason"] = std::string(kDefaultReason);
    args["pid"] = pid;
    return ToolRequest{"hold", std::move(args)};
  }
  if (name == "release") {
    Json payload = Json::object();
    if (const std::string* id = string_member(args, "id")) {
      payload["id"] = *id;
      payload["pid"] = pid;
      return ToolRequest{"release_own", std::move(payload)};
    }
    payload["pid"] = pid;
    return ToolRequest{"release_pid", std::move(payload)};
  }
  return std::nullopt;
}

std::string_view setup_prompt() { return kSetupPrompt; }

}  // namespace vesk::mcp
