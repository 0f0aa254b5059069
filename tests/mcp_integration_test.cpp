// Runs the built `vesk mcp` as a child with its standard input and output on
// pipes, against the stand-in tray app in a temporary app folder.
#include <gtest/gtest.h>

#include "harness.h"
#include "platform/fs.h"
#include "standin/standin.h"

namespace vesk {
namespace {

using testing::Sandbox;

// Runs `vesk mcp` in the sandbox with `input`; the child's pid goes to `pid`.
platform::CapturedRun serve(const Sandbox& box, const std::string& input, uint32_t& pid) {
  auto child = platform::Child::start(testing::built_program("vesk"), {"mcp"}, box.env(), input);
  if (!child) {
    ADD_FAILURE() << "vesk did not start: " << child.message();
    return {-1, "", ""};
  }
  pid = child->pid();
  auto run = child->wait();
  if (!run) {
    ADD_FAILURE() << "vesk did not end: " << run.message();
    return {-1, "", ""};
  }
  return *run;
}

// The last request the stand-in took must be the session's release.
void expect_released(const standin::StandIn& app, uint32_t pid) {
  auto seen = app.requests();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().text,
            R"({"args":{"pid":)" + std::to_string(pid) + R"(},"cmd":"release_pid"})");
}

const char kParseErrorLine[] =
    "{\"error\":{\"code\":-32700,\"message\":\"Parse error\"},\"id\":null,\"jsonrpc\":\"2.0\"}\n";

TEST(McpProgram, AnswersOverPipesAndReleasesAtTheEnd) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  app.script("status", [](const standin::Request&) {
    return Json{{"ok", true}, {"status", "Awake \xC2\xB7 82%"}};
  });
  app.start();

  uint32_t pid = 0;
  auto run = serve(box,
                   // A byte-order mark at the very start is skipped.
                   "\xEF\xBB\xBF{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\"}\r\n"
                   "   \r\n"
                   "{\"jsonrpc\":\"2.0\",\"id\":0,\"method\":\"initialize\",\"params\":{"
                   "\"protocolVersion\":\"2025-03-26\"}}\n"
                   "{\"jsonrpc\":\"2.0\",\"method\":\"notifications/initialized\"}\n"
                   "{\"jsonrpc\":\"2.0\",\"id\":\"s\",\"method\":\"tools/call\",\"params\":{"
                   "\"name\":\"status\"}}\n"
                   "{\"jsonrpc\":\"2.0\",\"id\":3,\"method\":\"tools/call\",\"params\":{"
                   "\"name\":\"stay_awake\",\"arguments\":{\"reason\":\"tests\"}}}\n"
                   "{\"jsonrpc\":\"2.0\",\"id\":4,\"method\":\"tools/call\",\"params\":{"
                   "\"name\":\"Status\"}}\n",
                   pid);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");

  std::vector<std::string> lines;
  for (size_t start = 0; start < run.out.size();) {
    size_t end = run.out.find('\n', start);
    ASSERT_NE(end, std::string::npos) << run.out;
    lines.push_back(run.out.substr(start, end - start));
    start = end + 1;
  }
  ASSERT_EQ(lines.size(), 5u) << run.out;
  EXPECT_EQ(lines[0], R"({"id":1,"jsonrpc":"2.0","result":{}})");
  const std::string initialized =
      R"({"id":0,"jsonrpc":"2.0","result":{"capabilities":{"prompts":{},"tools":{}},)";
  EXPECT_EQ(lines[1].substr(0, initialized.size()), initialized);
  EXPECT_NE(lines[1].find(R"("protocolVersion":"2025-03-26","serverInfo":{"name":"vesk")"),
            std::string::npos);
  EXPECT_EQ(lines[2],
            "{\"id\":\"s\",\"jsonrpc\":\"2.0\",\"result\":{\"content\":[{\"text\":\"{\\n  "
            "\\\"ok\\\": true,\\n  \\\"status\\\": \\\"Awake \xC2\xB7 82%\\\"\\n}\",\"type\":"
            "\"text\"}],\"isError\":false,\"structuredContent\":{\"ok\":true,\"status\":"
            "\"Awake \xC2\xB7 82%\"}}}");
  EXPECT_NE(lines[3].find(R"("isError":false)"), std::string::npos) << lines[3];
  EXPECT_EQ(lines[4],
            R"({"error":{"code":-32602,"message":"Unknown tool Status"},"id":4,"jsonrpc":"2.0"})");

  auto seen = app.requests();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].text, R"({"args":{},"cmd":"status"})");
  EXPECT_EQ(seen[1].text,
            R"({"args":{"pid":)" + std::to_string(pid) + R"(,"reason":"tests"},"cmd":"hold"})");
  expect_released(app, pid);
  // The session's hold went with it.
  EXPECT_TRUE(app.holds().empty());
}

TEST(McpProgram, WithoutTheTrayApp) {
  Sandbox box;
  uint32_t pid = 0;
  auto run = serve(box, R"({"id":1,"method":"tools/call","params":{"name":"status"}})", pid);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "{\"id\":1,\"jsonrpc\":\"2.0\",\"result\":{\"content\":[{\"text\":\"Vesk "
            "isn't running. Start the Vesk app first (it lives in the system tray).\","
            "\"type\":\"text\"}],\"isError\":true}}\n");
  EXPECT_TRUE(testing::names_in(platform::join_path(box.app_folder(), "requests")).empty());
}

TEST(McpProgram, BadInputEndsCleanly) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  app.start();
  uint32_t pid = 0;
  auto run = serve(box,
                   std::string(10 << 20, '7') + "x\n" + std::string(100000, '[') + "\n" +
                       R"({"id":{"n":1},"method":"ping"})" "\n"
                       "[1]\n"
                       "{\"id\":2,\"method\":\"ping\",\"params\":{\"a\":\"\xE2\x82\"}}\n"
                       R"({"id":3,"method":"ping"})" "\n",
                   pid);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.err, "");
  // Every line is answered, the one that is not UTF-8 too before the end.
  EXPECT_EQ(run.out, std::string(kParseErrorLine) + kParseErrorLine +
                         "{\"error\":{\"code\":-32600,\"message\":\"Invalid Request: id is an "
                         "object or an array\"},\"id\":null,\"jsonrpc\":\"2.0\"}\n"
                         "[{\"error\":{\"code\":-32600,\"message\":\"Invalid Request: not a JSON "
                         "object\"},\"id\":null,\"jsonrpc\":\"2.0\"}]\n" +
                         kParseErrorLine);
  ASSERT_EQ(app.requests().size(), 1u);
  expect_released(app, pid);
}

}  // namespace
}  // namespace vesk
