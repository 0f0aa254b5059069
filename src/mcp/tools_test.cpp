#include "mcp/tools.h"

#include <gtest/gtest.h>

#include "settings/catalogue.h"

namespace vesk::mcp {
namespace {

constexpr uint32_t kPid = 4242;

Json parsed(std::string_view text) {
  std::optional<Json> value = parse_json(text);
  EXPECT_TRUE(value.has_value()) << text;
  return value.value_or(Json());
}

struct ToolRow {
  const char* name;
  const char* title;
  const char* description;
  const char* input_schema;  // compact
};

const char kNoArguments[] =
    R"({"additionalProperties":false,"properties":{},"required":[],"type":"object"})";

const ToolRow kTools[] = {
    {"status", "Vesk status",
     "What Vesk is doing: whether closing the lid keeps the machine working, battery %, hours "
     "left with the lid closed, which agents it sees and whether they're working, and the apps "
     "using the most CPU.",
     kNoArguments},
    {"stay_awake", "Keep the laptop awake",
     "Keep the machine awake, including with the lid closed, until released, for a number of "
     "minutes, or until this session ends. Use before long unattended work.",
     R"j({"additionalProperties":false,"properties":{"minutes":{"description":"Optional limit )j"
     R"j((max 10080 = 7 days)","type":"number"},"reason":{"description":"Shown in the tray menu, )j"
     R"j(e.g. 'Running the test suite'","type":"string"}},"required":[],"type":"object"})j"},
    {"release", "Release my keep-awake",
     "End a stay_awake hold this session made (by id), or all of this session's holds when no id "
     "is given.",
     R"({"additionalProperties":false,"properties":{"id":{"type":"string"}},"required":[],)"
     R"("type":"object"})"},
    {"set_mode", "Set the keep-awake mode",
     "off = never keep awake; auto (When Busy) = only while an agent is working; always = until "
     "turned off or for a number of minutes.",
     R"({"additionalProperties":false,"properties":{"minutes":{"type":"number"},"mode":{"enum":)"
     R"(["off","auto","always"],"type":"string"}},"required":["mode"],"type":"object"})"},
    {"set_preset", "Set the battery preset",
     "How hard to save battery while the lid is closed.",
     R"({"additionalProperties":false,"properties":{"preset":{"enum":["max_battery","balanced",)"
     R"("full_speed"],"type":"string"}},"required":["preset"],"type":"object"})"},
    {"set_app_rule", "Set an app's lid-closed rule",
     "What happens to an app while the lid is closed: leave it, slow it, pause it (frozen until "
     "the lid opens), or default (back to the preset).",
     R"({"additionalProperties":false,"properties":{"app":{"description":"Executable name, e.g. )"
     R"(chrome, spotify, slack","type":"string"},"rule":{"enum":["leave","slow","pause",)"
     R"("default"],"type":"string"}},"required":["app","rule"],"type":"object"})"},
    {"watch_app", "Keep awake while an app works",
     "Make an app keep the machine awake while it's busy (e.g. blender, ffmpeg), or stop "
     "watching it.",
     R"({"additionalProperties":false,"properties":{"app":{"type":"string"},"remove":{"type":)"
     R"("boolean"}},"required":["app"],"type":"object"})"},
    {"energy", "Apps using energy",
     "Apps using the most CPU right now and what happens to each while the lid is closed.",
     kNoArguments},
    {"settings", "Vesk settings",
     "List every Vesk setting with its current value, allowed values, what it does and any "
     "safety rule. Read this before changing settings.",
     kNoArguments},
    {"set_setting", "Change a Vesk setting",
     "Change one setting (see settings for every key and what it does). Safety settings can only "
     "be made stricter from here: battery_floor can only go up and heat_guard can only be turned "
     "on.",
     R"({"additionalProperties":false,"properties":{"key":{"enum":["mode","preset","low_power",)"
     R"("battery_floor","heat_guard","only_on_power","quiet_minutes","sleep_when_done",)"
     R"("claude_app","check_in_minutes","notify_done","ntfy_topic"],"type":"string"},"value":)"
     R"({"description":"Number, on/off, or text"}},"required":["key","value"],"type":"object"})"},
    {"power", "Power use",
     "Power use right now and what is using it, with the setting that would cut each (busy apps, "
     "preset, power saver), plus what the laptop learned it draws open and closed.",
     kNoArguments},
    {"setup_prompt", "How to set up Vesk",
     "The recommended steps for setting Vesk up with the person. Use when asked to set up or "
     "tune Vesk.",
     kNoArguments},
};

TEST(McpTools, TheToolsInOrder) {
  Json tools = tool_list();
  ASSERT_TRUE(tools.is_array());
  ASSERT_EQ(tools.size(), std::size(kTools));
  for (size_t i = 0; i < std::size(kTools); ++i) {
    const ToolRow& row = kTools[i];
    SCOPED_TRACE(row.name);
    const Json& tool = tools[i];
    // Exactly these members, written in this order; the annotations repeat
    // the title (their hints are checked with tools/list).
    std::string expected = R"({"annotations":)" + compact_json(tool["annotations"]) +
                           R"(,"description":")" + std::string(row.description) +
                           R"(","inputSchema":)" + row.input_schema + R"(,"name":")" +
                           row.name + R"(","title":")" + row.title + R"("})";
    EXPECT_EQ(compact_json(tool), expected);
    EXPECT_EQ(tool["annotations"]["title"], row.title);
  }
}

TEST(McpTools, SameListEveryTime) {
  EXPECT_EQ(compact_json(tool_list()), compact_json(tool_list()));
}

TEST(McpTools, SettingKeysComeFromTheCatalogue) {
  Json tools = tool_list();
  const Json& key = tools[9]["inputSchema"]["properties"]["key"]["enum"];
  std::vector<std::string> expected;
  for (std::string_view k : settings::setting_keys()) expected.emplace_back(k);
  EXPECT_EQ(key.get<std::vector<std::string>>(), expected);
}

struct MapRow {
  const char* name;
  const char* arguments;  // JSON text
  const char* kind;       // nullptr: refused without a request, with kNoHoldId
  const char* payload;    // compact
};

const char kNoHoldId[] =
    "id must be a hold id, the text in hold.id of stay_awake's answer (such as \"3\"); leave "
    "it out to end all of this session's holds.";

const MapRow kMappings[] = {
    {"status", "{}", "status", "{}"},
    {"status", R"({"verbose":true})", "status", R"({"verbose":true})"},
    {"energy", R"({"top":3})", "energy", R"({"top":3})"},
    {"set_mode", R"({"mode":"always","minutes":30})", "mode", R"({"minutes":30,"mode":"always"})"},
    {"set_mode", R"({"minutes":30})", "mode", R"({"minutes":30})"},  // forwarded unchecked
    {"set_preset", R"({"preset":"balanced"})", "preset", R"({"preset":"balanced"})"},
    {"set_app_rule", R"({"app":"slack","rule":"pause"})", "rule",
     R"({"app":"slack","rule":"pause"})"},
    {"watch_app", R"({"app":"blender","remove":true})", "watch",
     R"({"app":"blender","remove":true})"},
    {"set_setting", R"({"key":"volume","value":11})", "set", R"({"key":"volume","value":11})"},
    {"settings", "{}", "schema", "{}"},
    {"power", "{}", "power", "{}"},
    // Arguments that are not an object count as none.
    {"status", "[1,2]", "status", "{}"},
    {"status", R"("text")", "status", "{}"},
    {"power", "null", "power", "{}"},
    {"settings", "7", "schema", "{}"},
    // Holds carry the session's pid and a reason.
    {"stay_awake", "{}", "hold", R"({"pid":4242,"reason":"Asked by an agent"})"},
    {"stay_awake", "[]", "hold", R"({"pid":4242,"reason":"Asked by an agent"})"},
    {"stay_awake", R"({"reason":"   "})", "hold", R"({"pid":4242,"reason":"Asked by an agent"})"},
    {"stay_awake", R"({"reason":"\u00a0\u3000\t"})", "hold",
     R"({"pid":4242,"reason":"Asked by an agent"})"},
    {"stay_awake", R"({"reason":""})", "hold", R"({"pid":4242,"reason":"Asked by an agent"})"},
    {"stay_awake", R"({"reason":12})", "hold", R"({"pid":4242,"reason":"Asked by an agent"})"},
    {"stay_awake", R"({"reason":"  tests  "})", "hold", R"({"pid":4242,"reason":"  tests  "})"},
    {"stay_awake", R"({"minutes":20000,"pid":1,"reason":"build"})", "hold",
     R"({"minutes":20000,"pid":4242,"reason":"build"})"},
    {"stay_awake", R"({"pid":"me"})", "hold", R"({"pid":4242,"reason":"Asked by an agent"})"},
    // Releases name only the pid, and the hold when an id is given: a
    // string, or a whole number as its digits.
    {"release", "{}", "release_pid", R"({"pid":4242})"},
    {"release", R"({"id":7})", "release_own", R"({"id":"7","pid":4242})"},
    {"release", R"({"id":3.0})", "release_own", R"({"id":"3","pid":4242})"},
    {"release", R"({"id":-2})", "release_own", R"({"id":"-2","pid":4242})"},
    {"release", R"({"id":18446744073709551615})", "release_own",
     R"({"id":"18446744073709551615","pid":4242})"},
    {"release", R"({"id":null,"pid":1})", "release_pid", R"({"pid":4242})"},
    // Any other id is refused: it would otherwise end the wrong holds.
    {"release", R"({"id":2.5})", nullptr, nullptr},
    {"release", R"({"id":1e300})", nullptr, nullptr},
    {"release", R"({"id":true})", nullptr, nullptr},
    {"release", R"({"id":false})", nullptr, nullptr},
    {"release", R"({"id":{"id":"3"}})", nullptr, nullptr},
    {"release", R"({"id":["3"]})", nullptr, nullptr},
    {"release", R"({"id":"h-1","pid":1,"all":true})", "release_own", R"({"id":"h-1","pid":4242})"},
    {"release", R"({"id":""})", "release_own", R"({"id":"","pid":4242})"},
    {"release", R"("h-1")", "release_pid", R"({"pid":4242})"},
};

TEST(McpTools, CallsBecomeRequests) {
  for (const MapRow& row : kMappings) {
    SCOPED_TRACE(std::string(row.name) + " " + row.arguments);
    std::optional<Result<ToolRequest>> request =
        map_tool_call(row.name, parsed(row.arguments), kPid);
    ASSERT_TRUE(request.has_value());
    if (row.kind == nullptr) {
      ASSERT_FALSE(request->ok());
      EXPECT_EQ(request->message(), kNoHoldId);
      continue;
    }
    ASSERT_TRUE(request->ok()) << request->message();
    EXPECT_EQ((*request)->kind, row.kind);
    EXPECT_EQ(compact_json((*request)->payload), row.payload);
  }
}

TEST(McpTools, PidIsAnUnsignedNumber) {
  auto hold = map_tool_call("stay_awake", Json::object(), 4294967295u);
  ASSERT_TRUE(hold && hold->ok());
  EXPECT_TRUE((*hold)->payload["pid"].is_number_unsigned());
  EXPECT_EQ(compact_json((*hold)->payload["pid"]), "4294967295");
}

TEST(McpTools, UnknownNamesMapToNothing) {
  for (const char* name : {"Status", "STATUS", "stay-awake", "", "setup_prompt", "quit",
                           "release_pid", "status "}) {
    EXPECT_FALSE(map_tool_call(name, Json::object(), kPid).has_value()) << name;
  }
}

TEST(McpTools, SetupPromptText) {
  const std::string expected =
      "Vesk is installed on this laptop. It keeps the machine awake with the lid closed while "
      "you (and other agents) work, and cuts power use while the lid is shut. You can control "
      "all of it through the `vesk` MCP tools (or the `vesk` command). Set it up for me:\n"
      "\n"
      "1. Call settings and power to see every setting and what is using power right now.\n"
      "2. Ask me, in one short message: which apps must keep running at full speed with the lid "
      "shut (music, calls, a local model, Docker...), and whether the laptop should stay awake "
      "only while agents work or always.\n"
      "3. Apply the strongest savings that don't touch what I named: preset max_battery, "
      "low_power, and per-app rules with set_app_rule.\n"
      "4. From now on, call stay_awake before long work and release when it's done.\n"
      "\n"
      "Never turn off the heat guard or lower the battery limit; Vesk won't let you, and that's "
      "on purpose.";
  EXPECT_EQ(setup_prompt(), expected);
  EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 7);
}

}  // namespace
}  // namespace vesk::mcp
