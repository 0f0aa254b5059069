#include "mcp/dispatch.h"

#include <gtest/gtest.h>

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

struct Exchange {
  const char* in;
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
      {R"({"id":{"b":[1,{}],"a":true},"method":"ping"})",
       R"({"id":{"a":true,"b":[1,{}]},"jsonrpc":"2.0","result":{}})"},
      {R"({"id":[3],"method":"ping","jsonrpc":"1.0"})",
       R"({"id":[3],"jsonrpc":"2.0","result":{}})"},
      {R"({"id":9,"method":"ping","params":{"x":1}})", R"({"id":9,"jsonrpc":"2.0","result":{}})"},
      // Notifications and texts that are not objects are not answered.
      {R"({"jsonrpc":"2.0","method":"notifications/initialized"})", ""},
      {R"({"method":"ping"})", ""},
      {R"({"method":"nope"})", ""},
      {"5", ""},
      {R"("ping")", ""},
      {"null", ""},
      {"{}", ""},
      // Unknown, missing or misspelt methods.
      {R"({"id":3,"method":"PING"})", not_found("3", "PING")},
      {R"({"id":3})", not_found("3", "")},
      {R"({"id":3,"method":5})", not_found("3", "")},
      {R"({"id":3,"method":"server/discover"})", not_found("3", "server/discover")},
      {R"({"id":4,"method":"resources/list"})", not_found("4", "resources/list")},
      {R"({"id":5,"method":"prompts/list"})", not_found("5", "prompts/list")},
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
         R"(,"jsonrpc":"2.0","result":{"capabilities":{"tools":{}},"instructions":")" +
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
      {R"({"id":1,"method":"initialize","params":{"protocolVersion":"2099-12-31",)"
       R"("capabilities":{},"clientInfo":{"name":"c","version":"1"}}})",
       initialized("1", "2099-12-31")},
      {R"({"id":1,"method":"initialize","params":{"protocolVersion":""}})", initialized("1", "")},
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

TEST(McpDispatch, Batches) {
  const Exchange table[] = {
      {"[]", ""},
      {R"([{"method":"notifications/initialized"},{"method":"ping"}])", ""},
      {R"([1,"a",null,[{"id":1,"method":"ping"}]])", ""},
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
        std::string_view("[{\"id\":1,\"method\":\"ping\"},]"), std::string_view("\"\\x\"")}) {
    EXPECT_EQ(answer(text), kParseError) << text;
  }
}


TEST(McpDispatch, ToolCallAsksTheTrayApp) {
  testing::FakeLink link;
  link.replies.push_back(Json{{"status", "Awake."}, {"ok", true}, {"holds", Json::array()}});
  EXPECT_EQ(answer(R"({"id":1,"method":"tools/call","params":{"name":"status"}})", link),
            R"({"id":1,"jsonrpc":"2.0","result":{"content":[{"text":"{\n  \"holds\": [],\n  )"
            R"(\"ok\": true,\n  \"status\": \"Awake.\"\n}","type":"text"}],"isError":false}})");
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

std::string call_result(std::string_view text, bool is_error) {
  return R"({"id":"c","jsonrpc":"2.0","result":{"content":[{"text":)" +
         compact_json(Json(std::string(text))) + R"(,"type":"text"}],"isError":)" +
         (is_error ? "true" : "false") + "}}";
}

TEST(McpDispatch, ToolCallOutcomes) {
  struct Row {
    Result<Json> reply;
    std::string text;
    bool is_error;
  };
  Row table[] = {
      {Json{{"ok", false}, {"error", "Not allowed."}},
       "{\n  \"error\": \"Not allowed.\",\n  \"ok\": false\n}", true},
      {Json{{"ok", true}}, "{\n  \"ok\": true\n}", false},
      {Json{{"ok", "false"}}, "{\n  \"ok\": \"false\"\n}", false},
      {Json{{"ok", 0}}, "{\n  \"ok\": 0\n}", false},
      {Json{{"status", "x"}}, "{\n  \"status\": \"x\"\n}", false},
      {Json::object(), "{}", false},
      {Json(5), "5", false},
      {Json::array({false}), "[\n  false\n]", false},
      {Json{{"z", 1}, {"a", Json{{"y", "\xC3\xA9"}, {"b", Json::array({1, 2})}}}},
       "{\n  \"a\": {\n    \"b\": [\n      1,\n      2\n    ],\n    \"y\": \"\xC3\xA9\"\n  },\n"
       "  \"z\": 1\n}",
       false},
      {Error{std::string(ipc::kNotRunning)}, std::string(ipc::kNotRunning), true},
      {Error{std::string(ipc::kNoAnswer)}, std::string(ipc::kNoAnswer), true},
      {Error{"couldn't write the request: disk full"}, "couldn't write the request: disk full",
       true},
  };
  for (Row& row : table) {
    testing::FakeLink link;
    link.replies.push_back(row.reply);
    EXPECT_EQ(answer(R"({"id":"c","method":"tools/call","params":{"name":"power"}})", link),
              call_result(row.text, row.is_error))
        << row.text;
  }
}

TEST(McpDispatch, SetupPromptSendsNothing) {
  EXPECT_EQ(answer(R"({"id":"c","method":"tools/call","params":{"name":"setup_prompt",)"
                   R"("arguments":[1]}})"),
            call_result(setup_prompt(), false));
}

TEST(McpDispatch, NestingDepth) {
  // A message at the limit is answered; one level more is a parse error.
  const size_t limit = kMaxJsonDepth;
  auto nested_id = [](size_t arrays) {
    return R"({"method":"ping","id":)" + std::string(arrays, '[') + std::string(arrays, ']') + "}";
  };
  EXPECT_EQ(answer(nested_id(limit - 1)), R"({"id":)" + std::string(limit - 1, '[') +
                                              std::string(limit - 1, ']') +
                                              R"(,"jsonrpc":"2.0","result":{}})");
  EXPECT_EQ(answer(nested_id(limit)), kParseError);

  EXPECT_EQ(answer(std::string(100000, '[')), kParseError);
  EXPECT_EQ(answer(std::string(100000, '[') + std::string(100000, ']')), kParseError);
  EXPECT_EQ(answer(std::string(100000, '{')), kParseError);
}

}  // namespace
}  // namespace vesk::mcp
