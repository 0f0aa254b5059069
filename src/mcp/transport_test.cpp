#include "mcp/transport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "mcp/fake_link.h"

namespace vesk::mcp {
namespace {

constexpr uint32_t kPid = 4242;

// Hands out `input` in pieces of at most `piece` bytes, then the end (or an
// error, with `fail_at_end`).
ReadFn reader(std::string input, size_t piece = 1 << 16, bool fail_at_end = false) {
  auto pos = std::make_shared<size_t>(0);
  return [input = std::move(input), piece, fail_at_end, pos](char* buffer,
                                                             size_t capacity) -> Result<size_t> {
    size_t n = std::min({capacity, piece, input.size() - *pos});
    if (n == 0 && fail_at_end) return Error{"read failed"};
    std::memcpy(buffer, input.data() + *pos, n);
    *pos += n;
    return n;
  };
}

std::vector<std::string> all_lines(LineReader& lines) {
  std::vector<std::string> out;
  for (int guard = 0; guard < 1000; ++guard) {
    std::string_view line;
    LineReader::Got got = lines.next(line);
    if (got == LineReader::Got::kEnd) break;
    out.push_back(got == LineReader::Got::kLine ? std::string(line) : "<too long>");
  }
  return out;
}

TEST(McpLineReader, SplitsLinesWhateverTheReadSizes) {
  struct Row {
    std::string input;
    std::vector<std::string> lines;
  };
  const Row table[] = {
      {"a\r\nb\n\nc", {"a", "b", "", "c"}},
      {"a\n", {"a"}},
      {"\r\n\r\n", {"", ""}},
      {"x\ry\n", {"x\ry"}},
      {"x\r\r\n", {"x\r"}},
      {"last\r", {"last\r"}},
      {"", {}},
      {"\n", {""}},
      {"one\ntwo\nthree\n", {"one", "two", "three"}},
  };
  for (const Row& row : table) {
    for (size_t piece : {1, 2, 3, 7, 1 << 16}) {
      for (size_t chunk : {1, 4, 1 << 16}) {
        LineReader lines(reader(row.input, piece), kMaxLineBytes, chunk);
        EXPECT_EQ(all_lines(lines), row.lines)
            << row.input << " piece " << piece << " chunk " << chunk;
      }
    }
  }
}

TEST(McpLineReader, SkipsLinesOverTheLimit) {
  for (size_t piece : {1, 5, 1 << 16}) {
    LineReader lines(reader("short\n0123456789abcdef\nok\n0123456789", piece), 8, 4);
    EXPECT_EQ(all_lines(lines),
              (std::vector<std::string>{"short", "<too long>", "ok", "<too long>"}))
        << piece;
  }
  LineReader exact(reader("12345678\n"), 8, 3);
  EXPECT_EQ(all_lines(exact), std::vector<std::string>{"12345678"});
}

TEST(McpLineReader, ReadErrorEndsTheInput) {
  LineReader lines(reader("a\nunfinished", 3, /*fail_at_end=*/true));
  EXPECT_EQ(all_lines(lines), std::vector<std::string>{"a"});
  std::string_view line;
  EXPECT_EQ(lines.next(line), LineReader::Got::kEnd);
}

// A session over `input`: what was written, one string per write.
struct Session {
  testing::FakeLink link;
  std::vector<std::string> writes;
  int status = -1;

  explicit Session(std::string input, size_t piece = 1 << 16, size_t writes_allowed = 1000) {
    status = serve(
        reader(std::move(input), piece),
        [this, writes_allowed](std::string_view bytes) {
          if (writes.size() >= writes_allowed) return Status{Error{"output closed"}};
          writes.emplace_back(bytes);
          return Status{};
        },
        kPid, link.fn());
  }

  std::string out() const {
    std::string all;
    for (const auto& w : writes) all += w;
    return all;
  }

  // The last request must be the final release, and only that.
  void expect_released() const {
    ASSERT_FALSE(link.sent.empty());
    EXPECT_EQ(link.sent.back().kind, "release_pid");
    EXPECT_EQ(compact_json(link.sent.back().payload), R"({"pid":4242})");
    // Under the 2 s that clients wait after closing the input.
    EXPECT_EQ(link.sent.back().wait, 1u);
  }
};

const char kPing1[] = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";
const char kPong1[] = "{\"id\":1,\"jsonrpc\":\"2.0\",\"result\":{}}\n";
const char kPong2[] = "{\"id\":2,\"jsonrpc\":\"2.0\",\"result\":{}}\n";
const char kParseErrorLine[] =
    "{\"error\":{\"code\":-32700,\"message\":\"Parse error\"},\"id\":null,\"jsonrpc\":\"2.0\"}\n";

TEST(McpServe, CrlfPingIsAnsweredWithOneLine) {
  for (size_t piece : {1, 1 << 16}) {
    Session s(std::string(kPing1) + "\r\n", piece);
    EXPECT_EQ(s.status, 0);
    EXPECT_EQ(s.writes, std::vector<std::string>{kPong1});
    ASSERT_EQ(s.link.sent.size(), 1u);
    s.expect_released();
  }
}

TEST(McpServe, OneWritePerResponseInRequestOrder) {
  Session s(std::string(kPing1) + "\n" +
            R"({"id":2,"method":"tools/call","params":{"name":"status"}})" + "\n" +
            R"({"method":"notifications/initialized"})" + "\n" +
            R"([{"id":3,"method":"ping"},{"id":4,"method":"ping"}])" + "\n" +
            R"({"id":5,"method":"ping"})");  // no "\n" at the end
  ASSERT_EQ(s.writes.size(), 4u);
  EXPECT_EQ(s.writes[0], kPong1);
  EXPECT_EQ(s.writes[1],
            "{\"id\":2,\"jsonrpc\":\"2.0\",\"result\":{\"content\":[{\"text\":\"{\\n  \\\"ok\\\": "
            "true\\n}\",\"type\":\"text\"}],\"isError\":false,\"structuredContent\":{\"ok\":"
            "true}}}\n");
  EXPECT_EQ(s.writes[2],
            "[{\"id\":3,\"jsonrpc\":\"2.0\",\"result\":{}},"
            "{\"id\":4,\"jsonrpc\":\"2.0\",\"result\":{}}]\n");
  EXPECT_EQ(s.writes[3], "{\"id\":5,\"jsonrpc\":\"2.0\",\"result\":{}}\n");
  ASSERT_EQ(s.link.sent.size(), 2u);
  EXPECT_EQ(s.link.sent[0].kind, "status");
  s.expect_released();
}

TEST(McpServe, BothErasInOneSession) {
  // Each request is answered by its own era, whatever came before it.
  const std::string meta =
      R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
      R"("io.modelcontextprotocol/clientCapabilities":{}})";
  Session s(R"({"id":1,"method":"initialize","params":{"protocolVersion":"2025-11-25"}})"
            "\n" R"({"id":2,"method":"tools/call","params":{"name":"status",)" + meta + "}}\n" +
            R"({"id":3,"method":"ping","params":{)" + meta + "}}\n" + kPing1 + "\n");
  ASSERT_EQ(s.writes.size(), 4u);
  EXPECT_NE(s.writes[0].find(R"("protocolVersion":"2025-11-25")"), std::string::npos);
  EXPECT_NE(s.writes[1].find(R"("isError":false,"resultType":"complete",)"), std::string::npos)
      << s.writes[1];
  EXPECT_EQ(s.writes[2],
            "{\"error\":{\"code\":-32601,\"message\":\"Method not found: ping\"},\"id\":3,"
            "\"jsonrpc\":\"2.0\"}\n");
  EXPECT_EQ(s.writes[3], kPong1);
  ASSERT_EQ(s.link.sent.size(), 2u);
  EXPECT_EQ(s.link.sent[0].kind, "status");
  s.expect_released();
}

TEST(McpServe, BlankLinesAreSkipped) {
  Session s(std::string("\n   \n\t\r\n\xC2\xA0\xE3\x80\x80\n\r\n") + kPing1 + "\n \n");
  EXPECT_EQ(s.out(), kPong1);
}

TEST(McpServe, InvalidUtf8EndsTheSession) {
  for (const char* bad : {"\xFF", "\xC3", "\xED\xA0\x80", "\xC0\xAF"}) {
    Session s(std::string(kPing1) + "\n{\"id\":2,\"method\":\"ping\",\"x\":\"" + bad +
              "\"}\n{\"id\":3,\"method\":\"tools/call\",\"params\":{\"name\":\"status\"}}\n");
    // The client is told why, then the session ends.
    EXPECT_EQ(s.out(), std::string(kPong1) + kParseErrorLine);
    EXPECT_EQ(s.status, 0);
    ASSERT_EQ(s.link.sent.size(), 1u);  // the status call was never made
    s.expect_released();
  }
}

TEST(McpServe, ParseErrorsGoOn) {
  Session s("{\"id\":1\n" + std::string(kPing1) + "\n" + std::string(kPing1) +
            std::string("\0xyz\n", 5) + R"({"id":2,"method":"ping"})" + "\n");
  EXPECT_EQ(s.out(), std::string(kParseErrorLine) + kPong1 + kParseErrorLine + kPong2);
}

TEST(McpServe, AByteOrderMarkIsSkippedAtTheStartOnly) {
  for (size_t piece : {1, 1 << 16}) {
    Session s("\xEF\xBB\xBF" + std::string(kPing1) + "\n\xEF\xBB\xBF" + kPing1 + "\n", piece);
    EXPECT_EQ(s.out(), std::string(kPong1) + kParseErrorLine) << piece;
  }
  // Alone on the first line, it leaves a blank line.
  Session alone("\xEF\xBB\xBF\r\n" + std::string(kPing1) + "\n");
  EXPECT_EQ(alone.out(), kPong1);
}

TEST(McpServe, HugeLines) {
  std::string pad(10 << 20, 'x');
  Session s(R"({"id":1,"method":"ping","params":{"pad":")" + pad + "\"}}\n" + pad + "\n" +
            std::string(100000, '[') + "\n" + std::string(100000, '{') + "\n" +
            R"({"id":2,"method":"ping"})" + "\n");
  EXPECT_EQ(s.out(), std::string(kPong1) + kParseErrorLine + kParseErrorLine + kParseErrorLine +
                         kPong2);
  s.expect_released();
}

TEST(McpServe, FailedWriteEndsTheSession) {
  Session s(std::string(kPing1) + "\n" +
                R"({"id":2,"method":"tools/call","params":{"name":"status"}})" + "\n",
            1 << 16, /*writes_allowed=*/0);
  EXPECT_TRUE(s.writes.empty());
  EXPECT_EQ(s.status, 0);
  ASSERT_EQ(s.link.sent.size(), 1u);
  s.expect_released();
}

TEST(McpServe, EmptyInputStillReleases) {
  Session s("");
  EXPECT_TRUE(s.writes.empty());
  EXPECT_EQ(s.status, 0);
  ASSERT_EQ(s.link.sent.size(), 1u);
  s.expect_released();
}

TEST(McpServe, FailedReleaseIsIgnored) {
  testing::FakeLink link;
  link.replies = {Error{"Vesk isn't running."}, Error{"Vesk isn't running."}};
  std::vector<std::string> writes;
  int status = serve(reader(R"({"id":1,"method":"tools/call","params":{"name":"status"}})"),
                     [&](std::string_view bytes) {
                       writes.emplace_back(bytes);
                       return Status{};
                     },
                     kPid, link.fn());
  EXPECT_EQ(status, 0);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_NE(writes[0].find(R"("text":"Vesk isn't running.","type":"text"}],"isError":true)"),
            std::string::npos);
  ASSERT_EQ(link.sent.size(), 2u);
  EXPECT_EQ(link.sent[1].kind, "release_pid");
}

TEST(McpServe, ALinkThatThrowsEndsTheSessionQuietly) {
  int calls = 0;
  std::vector<std::string> writes;
  int status = serve(
      reader(R"({"id":1,"method":"tools/call","params":{"name":"status"}})" "\n" +
             std::string(kPing1) + "\n"),
      [&](std::string_view bytes) {
        writes.emplace_back(bytes);
        return Status{};
      },
      kPid, [&](std::string_view, Json, unsigned) -> Result<Json> {
        ++calls;
        throw std::runtime_error("boom");
      });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(writes.empty());
  EXPECT_EQ(calls, 2);  // the call, then the final release
}

}  // namespace
}  // namespace vesk::mcp
