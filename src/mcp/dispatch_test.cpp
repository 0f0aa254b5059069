#include "mcp/dispatch.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "ipc/app_link.h"
#include "mcp/fake_link.h"
#include "mcp/tools.h"

namespace vesk::mcp {
namespace {

constexpr uint32_t kPid = 4242;

// The compact response to one received text, "" for none.
std::string answer(std::string_view text, testing::FakeLink& link) {
  std::optional<Json> response = handle_text(text, kPid, link.fn());
  return response ? compact_json(*response) : std::string();
}

std::string answer(std::string_view text) {
  testing::FakeLink link;
  std::string out = answer(text, link);
  EXPECT_TRUE(link.sent.empty()) << text;
  return out;
}

std::string not_found(std::string_view id, std::string_view method) {
  return R"({"error":{"code":-32601,"message":"Method not found: )" + std::string(method) +
         R"("},"id":)" + std::string(id) + R"(,"jsonrpc":"2.0"})";
}

const char kParseError[] =
    R"({"error":{"code":-32700,"message":"Parse error"},"id":null,"jsonrpc":"2.0"})";

std::string invalid_request(std::string_view id, std::string_view why) {
  return R"({"error":{"code":-32600,"message":"Invalid Request: )" + std::string(why) +
         R"("},"id":)" + std::string(id) + R"(,"jsonrpc":"2.0"})";
}
const std::string kNotAnObject = invalid_request("null", "not a JSON object");
const std::string kBadId = invalid_request("null", "id is an object or an array");

struct Exchange {
  std::string in;
  std::string out;  // "" for no response
};

TEST(McpDispatch, ProtocolMessages) {
  const Exchange table[] = {
      {R"({"jsonrpc":"2.0","id":1,"method":"ping"})", R"({"id":1,"jsonrpc":"2.0","result":{}})"},
      {R"({"id":0,"method":"ping"})", R"({"id":0,"jsonrpc":"2.0","result":{}})"},
      {R"({"id":"0","method":"ping"})", R"({"id":"0","jsonrpc":"2.0","result":{}})"},
      {R"({"id":"a\u00e9","method":"ping"})",
       "{\"id\":\"a\xC3\xA9\",\"jsonrpc\":\"2.0\",\"result\":{}}"},
      {R"({"id":null,"method":"ping"})", R"({"id":null,"jsonrpc":"2.0","result":{}})"},
      {R"({"id":-7,"method":"ping"})", R"({"id":-7,"jsonrpc":"2.0","result":{}})"},
      {R"({"id":2.5,"method":"ping"})", R"({"id":2.5,"jsonrpc":"2.0","result":{}})"},
      {R"({"id":true,"method":"ping"})", R"({"id":true,"jsonrpc":"2.0","result":{}})"},
      {R"({"id":9,"method":"ping","params":{"x":1}})", R"({"id":9,"jsonrpc":"2.0","result":{}})"},
      // An id that is an object or an array is not echoed.
      {R"({"id":{"b":[1,{}],"a":true},"method":"ping"})", kBadId},
      {R"({"id":[3],"method":"ping","jsonrpc":"1.0"})", kBadId},
      {R"({"id":{},"method":5})", kBadId},
      // Notifications are not answered.
      {R"({"jsonrpc":"2.0","method":"notifications/initialized"})", ""},
      {R"({"method":"ping"})", ""},
      {R"({"method":"nope"})", ""},
      {"{}", ""},
      // Texts that are not objects are no requests.
      {"5", kNotAnObject},
      {R"("ping")", kNotAnObject},
      {"null", kNotAnObject},
      {"true", kNotAnObject},
      // A request needs a method.
      {R"({"id":3})", invalid_request("3", "method is missing or not a string")},
      {R"({"id":3,"method":5})", invalid_request("3", "method is missing or not a string")},
      {R"({"id":"m","method":null})", invalid_request(R"("m")", "method is missing or not a string")},
      {R"({"id":null,"method":["ping"]})",
       invalid_request("null", "method is missing or not a string")},
      // Unknown or misspelt methods.
      {R"({"id":3,"method":"PING"})", not_found("3", "PING")},
      {R"({"id":3,"method":""})", not_found("3", "")},
      {R"({"id":4,"method":"resources/list"})", not_found("4", "resources/list")},
      {R"({"id":5,"method":"prompts/List"})", not_found("5", "prompts/List")},
      {R"({"id":"x","method":"logging/setLevel","params":{"level":"info"}})",
       not_found(R"("x")", "logging/setLevel")},
      {R"({"id":null,"method":"tools/List"})", not_found("null", "tools/List")},
      // Tool calls that name no known tool.
      {R"({"id":6,"method":"tools/call","params":{"name":"Status"}})",
       R"({"error":{"code":-32602,"message":"Unknown tool Status"},"id":6,"jsonrpc":"2.0"})"},
      {R"({"id":6,"method":"tools/call","params":{"name":"nope","arguments":{}}})",
       R"({"error":{"code":-32602,"message":"Unknown tool nope"},"id":6,"jsonrpc":"2.0"})"},
      {R"({"id":6,"method":"tools/call"})",
       R"({"error":{"code":-32602,"message":"Unknown tool "},"id":6,"jsonrpc":"2.0"})"},
      {R"({"id":6,"method":"tools/call","params":{"name":7}})",
       R"({"error":{"code":-32602,"message":"Unknown tool "},"id":6,"jsonrpc":"2.0"})"},
      {R"({"id":6,"method":"tools/call","params":["status"]})",
       R"({"error":{"code":-32602,"message":"Unknown tool "},"id":6,"jsonrpc":"2.0"})"},
      // A tool call without an id is not carried out.
      {R"({"method":"tools/call","params":{"name":"stay_awake"}})", ""},
  };
  for (const Exchange& row : table) EXPECT_EQ(answer(row.in), row.out) << row.in;
}

std::string initialized(std::string_view id, std::string_view version) {
  return R"({"id":)" + std::string(id) +
         R"(,"jsonrpc":"2.0","result":{"capabilities":{"prompts":{},"tools":{}},"instructions":")" +
         std::string(kInstructions) + R"(","protocolVersion":")" + std::string(version) +
         R"(","serverInfo":{"name":"vesk","version":"1.0.0"}}})";
}

TEST(McpDispatch, Initialize) {
  EXPECT_EQ(kInstructions,
            "Vesk keeps this laptop awake with the lid closed while you work. Call stay_awake "
            "before long unattended work and release when done; check status for battery and "
            "hours left. To tune it: settings lists every setting, power shows what's using power "
            "and which setting fixes it. If asked to set Vesk up, follow setup_prompt.");
  const Exchange table[] = {
      {R"({"id":0,"method":"initialize"})", initialized("0", "2025-06-18")},
      {R"({"id":0,"method":"initialize","params":{"protocolVersion":"2024-11-05"}})",
       initialized("0", "2024-11-05")},
      {R"({"id":0,"method":"initialize","params":{"protocolVersion":"2025-03-26"}})",
       initialized("0", "2025-03-26")},
      {R"({"id":0,"method":"initialize","params":{"protocolVersion":"2025-06-18"}})",
       initialized("0", "2025-06-18")},
      {R"({"id":0,"method":"initialize","params":{"protocolVersion":"2025-11-25"}})",
       initialized("0", "2025-11-25")},
      // A version this server does not serve is not echoed: the newest
      // handshake version is offered instead.
      {R"({"id":1,"method":"initialize","params":{"protocolVersion":"2099-12-31",)"
       R"("capabilities":{},"clientInfo":{"name":"c","version":"1"}}})",
       initialized("1", "2025-11-25")},
      {R"({"id":1,"method":"initialize","params":{"protocolVersion":"2026-07-28"}})",
       initialized("1", "2025-11-25")},
      {R"({"id":1,"method":"initialize","params":{"protocolVersion":"2024-10-07"}})",
       initialized("1", "2025-11-25")},
      {R"({"id":1,"method":"initialize","params":{"protocolVersion":""}})",
       initialized("1", "2025-11-25")},
      {R"({"id":1,"method":"initialize","params":{"protocolVersion":20250618}})",
       initialized("1", "2025-06-18")},
      {R"({"id":1,"method":"initialize","params":"2024-11-05"})", initialized("1", "2025-06-18")},
  };
  for (const Exchange& row : table) EXPECT_EQ(answer(row.in), row.out) << row.in;
}

TEST(McpDispatch, ToolsList) {
  Json expected = Json::object();
  expected["id"] = 7;
  expected["jsonrpc"] = "2.0";
  expected["result"]["tools"] = tool_list();
  std::string first = answer(R"({"id":7,"method":"tools/list","params":{"cursor":"x"}})");
  EXPECT_EQ(first, compact_json(expected));
  EXPECT_EQ(answer(R"({"id":7,"method":"tools/list"})"), first);
}

// A stateless request: `method` with `params` (an object's members, without
// its braces) and the given _meta members.
std::string stateless(std::string_view id, std::string_view method, std::string_view meta,
                      std::string_view params = "") {
  return R"({"jsonrpc":"2.0","id":)" + std::string(id) + R"(,"method":")" +
         std::string(method) + R"(","params":{)" + std::string(params) + R"("_meta":{)" +
         std::string(meta) + "}}}";
}

const char kMeta[] =
    R"("io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
    R"("io.modelcontextprotocol/clientCapabilities":{},)"
    R"("io.modelcontextprotocol/clientInfo":{"name":"c","version":"2"})";
const char kResultMeta[] =
    R"("_meta":{"io.modelcontextprotocol/serverInfo":{"name":"vesk","version":"1.0.0"}},)";
const char kVersions[] = R"(["2026-07-28","2025-11-25","2025-06-18","2025-03-26","2024-11-05"])";

TEST(McpDispatch, Discover) {
  std::string expected = std::string(R"({"id":"d","jsonrpc":"2.0","result":{)") + kResultMeta +
                         R"("cacheScope":"public","capabilities":{"prompts":{},"tools":{}},"instructions":")" +
                         std::string(kInstructions) + R"(","resultType":"complete",)"
                         R"("serverInfo":{"name":"vesk","version":"1.0.0"},"supportedVersions":)" +
                         kVersions + R"(,"ttlMs":3600000}})";
  EXPECT_EQ(answer(stateless(R"("d")", "server/discover", kMeta)), expected);
  // Nothing carries over from a handshake.
  EXPECT_NE(answer(R"({"id":0,"method":"initialize"})").find("2025-06-18"), std::string::npos);
  EXPECT_EQ(answer(stateless(R"("d")", "server/discover", kMeta)), expected);
}

TEST(McpDispatch, StatelessFaults) {
  auto invalid = [](std::string_view message) {
    return R"({"error":{"code":-32602,"message":")" + std::string(message) +
           R"("},"id":1,"jsonrpc":"2.0"})";
  };
  auto unsupported = [](std::string_view requested) {
    return R"({"error":{"code":-32022,"data":{"requested":)" + std::string(requested) +
           R"(,"supported":)" + kVersions +
           R"(},"message":"Unsupported protocol version"},"id":1,"jsonrpc":"2.0"})";
  };
  const char kCaps[] = R"("io.modelcontextprotocol/clientCapabilities":{})";
  const char kMissingVersion[] = "Missing _meta io.modelcontextprotocol/protocolVersion";
  const Exchange table[] = {
      // Versions this server does not serve statelessly, whatever the method.
      {stateless("1", "tools/list",
                 R"("io.modelcontextprotocol/protocolVersion":"2027-01-01",)" +
                     std::string(kCaps)),
       unsupported(R"("2027-01-01")")},
      {stateless("1", "server/discover",
                 R"("io.modelcontextprotocol/protocolVersion":"2025-11-25",)" +
                     std::string(kCaps)),
       unsupported(R"("2025-11-25")")},
      {stateless("1", "tools/call", R"("io.modelcontextprotocol/protocolVersion":"")",
                 R"("name":"status",)"),
       unsupported(R"("")")},
      // Required members missing or of the wrong type.
      {stateless("1", "tools/call", R"("io.modelcontextprotocol/protocolVersion":7)",
                 R"("name":"status",)"),
       invalid("_meta io.modelcontextprotocol/protocolVersion is not a string")},
      {stateless("1", "tools/list", R"("io.modelcontextprotocol/protocolVersion":null)"),
       invalid("_meta io.modelcontextprotocol/protocolVersion is not a string")},
      {stateless("1", "tools/list", R"("io.modelcontextprotocol/protocolVersion":"2026-07-28")"),
       invalid("Missing _meta io.modelcontextprotocol/clientCapabilities")},
      {stateless("1", "tools/list",
                 R"("io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
                 R"("io.modelcontextprotocol/clientCapabilities":[])"),
       invalid("_meta io.modelcontextprotocol/clientCapabilities is not an object")},
      // "server/discover" exists only statelessly.
      {R"({"id":1,"method":"server/discover"})", invalid(kMissingVersion)},
      {R"({"id":1,"method":"server/discover","params":{}})", invalid(kMissingVersion)},
      {stateless("1", "server/discover", kCaps), invalid(kMissingVersion)},
      {R"({"id":1,"method":"server/discover","params":{"_meta":[]}})", invalid(kMissingVersion)},
      // Methods the stateless revision removed or never had.
      {stateless("1", "initialize", kMeta, R"("protocolVersion":"2025-06-18",)"),
       not_found("1", "initialize")},
      {stateless("1", "ping", kMeta), not_found("1", "ping")},
      {stateless("1", "logging/setLevel", kMeta, R"("level":"info",)"),
       not_found("1", "logging/setLevel")},
      {stateless("1", "resources/subscribe", kMeta), not_found("1", "resources/subscribe")},
      {stateless("1", "resources/list", kMeta), not_found("1", "resources/list")},
      // Without the version member a request stays in the handshake era.
      {stateless("1", "ping", R"("progressToken":5)"), R"({"id":1,"jsonrpc":"2.0","result":{}})"},
      // Notifications are never answered.
      {R"({"method":"tools/call","params":{"name":"status","_meta":{)"
       R"("io.modelcontextprotocol/protocolVersion":"2026-07-28"}}})",
       ""},
  };
  for (const Exchange& row : table) EXPECT_EQ(answer(row.in), row.out) << row.in;
}

TEST(McpDispatch, StatelessTools) {
  Json expected = Json::object();
  expected["id"] = 7;
  expected["jsonrpc"] = "2.0";
  expected["result"]["_meta"]["io.modelcontextprotocol/serverInfo"] =
      Json{{"name", "vesk"}, {"version", "1.0.0"}};
  expected["result"]["cacheScope"] = "public";
  expected["result"]["resultType"] = "complete";
  expected["result"]["tools"] = tool_list();
  expected["result"]["ttlMs"] = 3600000;
  EXPECT_EQ(answer(stateless("7", "tools/list", kMeta)), compact_json(expected));

  // A call asks the tray app just as in the handshake era; the result gains
  // its type and the server's identity.
  testing::FakeLink modern, handshake;
  modern.replies.push_back(Json{{"ok", false}});
  handshake.replies.push_back(Json{{"ok", false}});
  std::string args = R"("name":"stay_awake","arguments":{"minutes":5},)";
  std::string text = R"("content":[{"text":"{\n  \"ok\": false\n}","type":"text"}],"isError":true)";
  EXPECT_EQ(answer(stateless("2", "tools/call", kMeta, args), modern),
            std::string(R"({"id":2,"jsonrpc":"2.0","result":{)") + kResultMeta + text +
                R"(,"resultType":"complete"}})");
  EXPECT_EQ(answer(R"({"id":2,"method":"tools/call","params":{)" + args.substr(0, args.size() - 1) +
                       "}}",
                   handshake),
            R"({"id":2,"jsonrpc":"2.0","result":{)" + text + "}}");
  ASSERT_EQ(modern.sent.size(), 1u);
  ASSERT_EQ(handshake.sent.size(), 1u);
  EXPECT_EQ(modern.sent[0].kind, handshake.sent[0].kind);
  EXPECT_EQ(modern.sent[0].payload, handshake.sent[0].payload);
  EXPECT_EQ(modern.sent[0].wait, handshake.sent[0].wait);

  EXPECT_NE(answer(stateless("3", "tools/call", kMeta, R"("name":"setup_prompt",)"))
                .find(R"(,"isError":false,"resultType":"complete"}})"),
            std::string::npos);
  EXPECT_EQ(answer(stateless("4", "tools/call", kMeta, R"("name":"Status",)")),
            R"({"error":{"code":-32602,"message":"Unknown tool Status"},"id":4,"jsonrpc":"2.0"})");
}

TEST(McpDispatch, Batches) {
  const Exchange table[] = {
      {"[]", invalid_request("null", "an empty batch")},
      {R"([{"method":"notifications/initialized"},{"method":"ping"}])", ""},
      {R"([1,"a",null,[{"id":1,"method":"ping"}]])",
       "[" + kNotAnObject + "," + kNotAnObject + "," + kNotAnObject + "," + kNotAnObject + "]"},
      {R"([{"method":"x"},[],{"id":[1],"method":"ping"}])", "[" + kNotAnObject + "," + kBadId + "]"},
      {R"([{"id":1,"method":"ping"},{"method":"x"},{"id":"b","method":"nope"}])",
       R"([{"id":1,"jsonrpc":"2.0","result":{}},)"
       R"({"error":{"code":-32601,"message":"Method not found: nope"},"id":"b","jsonrpc":"2.0"}])"},
      {R"([{"id":2,"method":"ping"}])", R"([{"id":2,"jsonrpc":"2.0","result":{}}])"},
  };
  for (const Exchange& row : table) EXPECT_EQ(answer(row.in), row.out) << row.in;
}

TEST(McpDispatch, ParseErrors) {
  for (std::string_view text :
       {std::string_view("{"), std::string_view(R"({"id":1,"method":"ping",})"),
        std::string_view(R"({"id":1,"method":"ping"} x)"),
        std::string_view(R"({"id":1,"method":"ping"}{"id":2})"), std::string_view("pong"),
        std::string_view("\xEF\xBB\xBF{\"id\":1,\"method\":\"ping\"}"),
        std::string_view("[{\"id\":1,\"method\":\"ping\"},]"), std::string_view("\"\\x\""),
        // Text after a NUL byte is text after the value.
        std::string_view("{\"id\":1,\"method\":\"ping\"}\0xyz", 27),
        std::string_view("{\"id\":1,\"method\":\"ping\"}\0", 25),
        std::string_view("\0", 1)}) {
    EXPECT_EQ(answer(text), kParseError) << text;
  }
}


TEST(McpDispatch, ToolCallAsksTheTrayApp) {
  testing::FakeLink link;
  link.replies.push_back(Json{{"status", "Awake."}, {"ok", true}, {"holds", Json::array()}});
  EXPECT_EQ(answer(R"({"id":1,"method":"tools/call","params":{"name":"status"}})", link),
            R"({"id":1,"jsonrpc":"2.0","result":{"content":[{"text":"{\n  \"holds\": [],\n  )"
            R"(\"ok\": true,\n  \"status\": \"Awake.\"\n}","type":"text"}],"isError":false,)"
            R"("structuredContent":{"holds":[],"ok":true,"status":"Awake."}}})");
  ASSERT_EQ(link.sent.size(), 1u);
  EXPECT_EQ(link.sent[0].kind, "status");
  EXPECT_EQ(compact_json(link.sent[0].payload), "{}");
  EXPECT_EQ(link.sent[0].wait, 10u);
}

TEST(McpDispatch, ToolCallArgumentsGoToTheMapping) {
  const char kDefault[] = R"({"pid":4242,"reason":"Asked by an agent"})";
  const std::pair<const char*, const char*> table[] = {
      {R"("arguments":{"minutes":30,"pid":1},)",
       R"({"minutes":30,"pid":4242,"reason":"Asked by an agent"})"},
      {R"("arguments":[1],)", kDefault},
      {"", kDefault},
  };
  for (const auto& [arguments, payload] : table) {
    testing::FakeLink link;
    std::string in = std::string(R"({"id":1,"method":"tools/call","params":{)") + arguments +
                     R"("name":"stay_awake"}})";
    EXPECT_NE(answer(in, link).find(R"("isError":false)"), std::string::npos) << in;
    ASSERT_EQ(link.sent.size(), 1u) << in;
    EXPECT_EQ(link.sent[0].kind, "hold");
    EXPECT_EQ(compact_json(link.sent[0].payload), payload) << in;
  }
}

// `structured`: the compact "structuredContent", "" for none.
std::string call_result(std::string_view text, bool is_error, std::string_view structured = "") {
  return R"({"id":"c","jsonrpc":"2.0","result":{"content":[{"text":)" +
         compact_json(Json(std::string(text))) + R"(,"type":"text"}],"isError":)" +
         (is_error ? "true" : "false") +
         (structured.empty() ? "" : R"(,"structuredContent":)" + std::string(structured)) + "}}";
}

TEST(McpDispatch, ToolCallOutcomes) {
  struct Row {
    Result<Json> reply;
    std::string text;
    bool is_error;
    std::string structured = "";  // an object reply that is no refusal, as data too
  };
  Row table[] = {
      {Json{{"ok", false}, {"error", "Not allowed."}},
       "{\n  \"error\": \"Not allowed.\",\n  \"ok\": false\n}", true},
      {Json{{"ok", true}}, "{\n  \"ok\": true\n}", false, R"({"ok":true})"},
      {Json{{"ok", "false"}}, "{\n  \"ok\": \"false\"\n}", false, R"({"ok":"false"})"},
      {Json{{"ok", 0}}, "{\n  \"ok\": 0\n}", false, R"({"ok":0})"},
      {Json{{"status", "x"}}, "{\n  \"status\": \"x\"\n}", false, R"({"status":"x"})"},
      {Json::object(), "{}", false, "{}"},
      {Json(5), "5", false},
      {Json("ok"), "\"ok\"", false},
      {Json::array({false}), "[\n  false\n]", false},
      {Json{{"z", 1}, {"a", Json{{"y", "\xC3\xA9"}, {"b", Json::array({1, 2})}}}},
       "{\n  \"a\": {\n    \"b\": [\n      1,\n      2\n    ],\n    \"y\": \"\xC3\xA9\"\n  },\n"
       "  \"z\": 1\n}",
       false, "{\"a\":{\"b\":[1,2],\"y\":\"\xC3\xA9\"},\"z\":1}"},
      {Error{std::string(ipc::kNotRunning)}, std::string(ipc::kNotRunning), true},
      {Error{std::string(ipc::kNoAnswer)}, std::string(ipc::kNoAnswer), true},
      {Error{"couldn't write the request: disk full"}, "couldn't write the request: disk full",
       true},
  };
  for (Row& row : table) {
    testing::FakeLink link;
    link.replies.push_back(row.reply);
    EXPECT_EQ(answer(R"({"id":"c","method":"tools/call","params":{"name":"power"}})", link),
              call_result(row.text, row.is_error, row.structured))
        << row.text;
  }
}

TEST(McpDispatch, SetupPromptSendsNothing) {
  EXPECT_EQ(answer(R"({"id":"c","method":"tools/call","params":{"name":"setup_prompt",)"
                   R"("arguments":[1]}})"),
            call_result(setup_prompt(), false));
}

TEST(McpDispatch, EveryToolSaysWhatItDoes) {
  // What clients decide approvals by: only the five reading tools are
  // read-only; nothing is destructive or reaches beyond the machine; every
  // tool but stay_awake (each call adds a hold) is idempotent.
  struct Row {
    const char* name;
    bool read_only, idempotent;
  };
  const Row table[] = {
      {"status", true, true},        {"stay_awake", false, false}, {"release", false, true},
      {"set_mode", false, true},     {"set_preset", false, true},  {"set_app_rule", false, true},
      {"watch_app", false, true},    {"energy", true, true},       {"settings", true, true},
      {"set_setting", false, true},  {"power", true, true},        {"setup_prompt", true, true},
  };
  std::optional<Json> modern = parse_json(answer(stateless("1", "tools/list", kMeta)));
  std::optional<Json> handshake = parse_json(answer(R"({"id":1,"method":"tools/list"})"));
  ASSERT_TRUE(modern && handshake);
  const Json& tools = (*handshake)["result"]["tools"];
  EXPECT_EQ((*modern)["result"]["tools"], tools);  // the same list for every client
  ASSERT_EQ(tools.size(), std::size(table));
  for (size_t i = 0; i < std::size(table); ++i) {
    const Row& row = table[i];
    const Json& tool = tools[i];
    SCOPED_TRACE(row.name);
    EXPECT_EQ(tool["name"], row.name);
    ASSERT_TRUE(tool["title"].is_string());
    EXPECT_FALSE(blank(tool["title"].get<std::string>()));
    const Json& hints = tool["annotations"];
    ASSERT_EQ(hints.size(), 5u);
    EXPECT_EQ(hints["title"], tool["title"]);
    for (const char* hint : {"destructiveHint", "idempotentHint", "openWorldHint", "readOnlyHint"}) {
      EXPECT_TRUE(hints[hint].is_boolean()) << hint;
    }
    EXPECT_EQ(hints["readOnlyHint"], row.read_only);
    EXPECT_EQ(hints["destructiveHint"], false);
    EXPECT_EQ(hints["idempotentHint"], row.idempotent);
    EXPECT_EQ(hints["openWorldHint"], false);
    EXPECT_FALSE(tool.contains("outputSchema"));
  }
}

TEST(McpDispatch, SetupPromptAsAPrompt) {
  const std::string description =
      "Have the agent set Vesk up with you: it looks at the settings and what uses power, asks "
      "what must keep running with the lid shut, and applies the strongest savings that allow "
      "it.";
  const std::string listed = R"({"prompts":[{"description":")" + description +
                             R"(","name":"setup","title":"Set up Vesk"}]})";
  const std::string got = R"({"description":")" + description +
                          R"(","messages":[{"content":{"text":)" +
                          compact_json(Json(std::string(setup_prompt()))) +
                          R"(,"type":"text"},"role":"user"}]})";
  const std::string unknown =
      R"({"error":{"code":-32602,"message":"Unknown prompt Setup"},"id":2,"jsonrpc":"2.0"})";
  const Exchange table[] = {
      {R"({"id":1,"method":"prompts/list"})", R"({"id":1,"jsonrpc":"2.0","result":)" + listed + "}"},
      {R"({"id":1,"method":"prompts/get","params":{"name":"setup","arguments":{"x":"y"}}})",
       R"({"id":1,"jsonrpc":"2.0","result":)" + got + "}"},
      {R"({"id":2,"method":"prompts/get","params":{"name":"Setup"}})", unknown},
      {R"({"id":2,"method":"prompts/get"})",
       R"({"error":{"code":-32602,"message":"Unknown prompt "},"id":2,"jsonrpc":"2.0"})"},
      {stateless("1", "prompts/list", kMeta),
       std::string(R"({"id":1,"jsonrpc":"2.0","result":{)") + kResultMeta +
           R"("cacheScope":"public",)" + listed.substr(1, listed.size() - 2) +
           R"(,"resultType":"complete","ttlMs":3600000}})"},
      {stateless("1", "prompts/get", kMeta, R"("name":"setup",)"),
       std::string(R"({"id":1,"jsonrpc":"2.0","result":{)") + kResultMeta +
           got.substr(1, got.size() - 2) + R"(,"resultType":"complete"}})"},
      {stateless("2", "prompts/get", kMeta, R"("name":"Setup",)"), unknown},
  };
  for (const Exchange& row : table) EXPECT_EQ(answer(row.in), row.out) << row.in;
}

TEST(McpDispatch, ReleaseWithAnIdThatIsNoHoldIdAsksNothing) {
  // answer() checks that nothing was sent.
  EXPECT_EQ(answer(R"({"id":"c","method":"tools/call","params":{"name":"release",)"
                   R"("arguments":{"id":2.5}}})"),
            call_result("id must be a hold id, the text in hold.id of stay_awake's answer (such "
                        "as \"3\"); leave it out to end all of this session's holds.",
                        true));
}

TEST(McpDispatch, NestingDepth) {
  // A message at the limit is answered; one level more is a parse error.
  const size_t limit = kMaxJsonDepth;
  auto nested_params = [](size_t arrays) {
    return R"({"method":"ping","id":1,"params":)" + std::string(arrays, '[') +
           std::string(arrays, ']') + "}";
  };
  EXPECT_EQ(answer(nested_params(limit - 1)), R"({"id":1,"jsonrpc":"2.0","result":{}})");
  EXPECT_EQ(answer(nested_params(limit)), kParseError);

  EXPECT_EQ(answer(std::string(100000, '[')), kParseError);
  EXPECT_EQ(answer(std::string(100000, '[') + std::string(100000, ']')), kParseError);
  EXPECT_EQ(answer(std::string(100000, '{')), kParseError);
}

}  // namespace
}  // namespace vesk::mcp
