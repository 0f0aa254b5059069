#include "ipc/app_link.h"

#include <gtest/gtest.h>

#include <functional>

#include "harness.h"
#include "ipc/liveness.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "standin/standin.h"

namespace vesk::ipc {
namespace {

using platform::join_path;

TEST(RequestId, NanosecondsAndPidInHex) {
  // 1796580000.1234567 s after 1970, process 8000.
  EXPECT_EQ(request_id(platform::kUnixEpochFiletime + 17965800001234567ULL, 8000),
            "18eebbfdcdee0cbc-1f40");
  EXPECT_EQ(request_id(platform::kUnixEpochFiletime, 1), "0-1");
  EXPECT_EQ(request_id(5, 0xABCDEF), "0-abcdef");  // before 1970
}

TEST(RequestDocument, CompactWithSortedKeys) {
  EXPECT_EQ(request_document("status", Json::object()), R"({"args":{},"cmd":"status"})");
  EXPECT_EQ(request_document("mode", Json{{"mode", "always"}, {"minutes", 30.0}}),
            R"({"args":{"minutes":30.0,"mode":"always"},"cmd":"mode"})");
  EXPECT_EQ(request_document("release_pid", Json{{"pid", 8000u}}),
            R"({"args":{"pid":8000},"cmd":"release_pid"})");
  EXPECT_EQ(request_document("hold", Json{{"minutes", std::nan("")}}),
            R"({"args":{"minutes":null},"cmd":"hold"})");
}

TEST(WriteUnixTime, WritesDigitsOnly) {
  testing::TempDir dir;
  std::string marker = join_path(dir.path(), "installed");
  uint64_t before = unix_now();
  ASSERT_TRUE(write_unix_time(marker));
  std::string text = platform::read_file(marker).value_or("");
  ASSERT_EQ(text.find_first_not_of("0123456789"), std::string::npos) << text;
  EXPECT_GE(std::stoull(text), before);
  EXPECT_LE(std::stoull(text), unix_now());
  EXPECT_FALSE(write_unix_time(join_path(join_path(dir.path(), "missing"), "installed")));
}

// Seconds of 25 ms: the time-out paths in milliseconds. The real 10-second
// limit is tested end to end (VeskProgram.NoAnswerTimesOut).
constexpr TimeUnit kShort{25};

// A clock that moves only while the request waits, by each wait's length,
// and no change notification. From `turn_at_ms` on, each wait first gives
// the tray app its turn (StandIn::answer_waiting): the request then sees the
// tray app answer at a known point of its limit, however slow the machine.
class TurnWaits final : public ReplyWaits {
 public:
  TurnWaits(unsigned turn_at_ms, std::function<void()> turn)
      : turn_at_ns_(turn_at_ms * 1000000ULL), turn_(std::move(turn)) {}
  uint64_t now_ns() override { return now_ns_; }
  std::unique_ptr<platform::DirWatch> open_watch(const std::string&) override { return nullptr; }
  void wait(platform::DirWatch*, unsigned ms) override {
    now_ns_ += ms * 1000000ULL;
    if (now_ns_ >= turn_at_ns_) turn_();
  }

 private:
  uint64_t now_ns_ = 0;
  uint64_t turn_at_ns_;
  std::function<void()> turn_;
};

class AppRequestTest : public ::testing::Test {
 protected:
  testing::TempDir dir;
  std::string folder = dir.path();
  std::string requests = join_path(folder, "requests");
  std::string replies = join_path(folder, "replies");
};

TEST_F(AppRequestTest, NotRunningWritesNothing) {
  auto reply = app_request(folder, "status", Json::object(), 1);
  ASSERT_FALSE(reply);
  EXPECT_EQ(reply.message(), kNotRunning);
  EXPECT_TRUE(testing::names_in(requests).empty());

  // A heartbeat 15 seconds old no longer counts.
  ASSERT_TRUE(platform::write_file(join_path(folder, "alive"), std::to_string(unix_now() - 15)));
  EXPECT_EQ(app_request(folder, "status", Json::object(), 1).message(), kNotRunning);
  EXPECT_TRUE(testing::names_in(requests).empty());
}

TEST_F(AppRequestTest, SendsTheDocumentAndReturnsTheReply) {
  standin::StandIn app(folder);
  app.script("mode", [](const standin::Request&) {
    return Json{{"ok", true}, {"status", "S"}};
  });
  app.start();
  auto reply = app_request(folder, "mode", Json{{"mode", "always"}, {"minutes", 30.0}}, 10);
  ASSERT_TRUE(reply) << reply.message();
  EXPECT_EQ(*reply, (Json{{"ok", true}, {"status", "S"}}));
  auto seen = app.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, R"({"args":{"minutes":30.0,"mode":"always"},"cmd":"mode"})");
  // The id is the time in hexadecimal nanoseconds and our pid.
  std::string pid_hex = seen[0].id.substr(seen[0].id.find('-') + 1);
  EXPECT_EQ(std::stoul(pid_hex, nullptr, 16), platform::current_pid());
  app.stop();
  EXPECT_TRUE(testing::names_in(replies).empty());  // the reply was deleted
}

TEST_F(AppRequestTest, NonObjectReplyComesBackUnchanged) {
  standin::StandIn app(folder);
  app.script("status", [](const standin::Request&) { return Json(true); });
  app.start();
  auto reply = app_request(folder, "status", Json::object(), 5);
  ASSERT_TRUE(reply) << reply.message();
  EXPECT_EQ(*reply, Json(true));
}

TEST_F(AppRequestTest, ReplyWrittenInTwoPartsIsReadWhole) {
  standin::StandIn app(folder);
  app.reply_in_two_parts(true);
  app.script("status", [](const standin::Request&) {
    return Json{{"ok", true}, {"status", std::string(200, 'x')}};
  });
  app.write_heartbeat();
  // The tray app takes a turn at every wait: it writes the first half at
  // one and the rest at the next, so the request reads the half between.
  TurnWaits waits(0, [&] { app.answer_waiting(); });
  auto reply = app_request(folder, "status", Json::object(), 5, {}, waits);
  ASSERT_TRUE(reply) << reply.message();
  EXPECT_EQ(*string_member(*reply, "status"), std::string(200, 'x'));
}

// Replies that never parse keep the caller waiting until its limit.
TEST_F(AppRequestTest, UnreadableRepliesTimeOut) {
  const std::string bad_replies[] = {
      "\xEF\xBB\xBF{\"ok\":true}",     // byte-order mark
      "{\"status\":\"\xFF\"}",         // not UTF-8
      "{\"ok\":true} trailing",         // garbage after the document
      "{\"ok\":true}{\"ok\":true}",    // two documents
  };
  standin::StandIn app(folder);
  app.start();
  for (const std::string& bad : bad_replies) {
    // Answer with bytes of our own instead of a JSON value.
    app.script("status", [&](const standin::Request& r) -> std::optional<Json> {
      EXPECT_TRUE(platform::write_file(join_path(replies, r.id + ".json"), bad));
      return std::nullopt;
    });
    auto reply = app_request(folder, "status", Json::object(), 8, kShort);
    ASSERT_FALSE(reply) << bad;
    EXPECT_EQ(reply.message(), kNoAnswer);
  }
}

TEST_F(AppRequestTest, TimeOutDeletesTheUntakenRequest) {
  standin::StandIn app(folder);
  app.leave_requests(true);
  app.start();
  uint64_t start = platform::monotonic_ns();
  auto reply = app_request(folder, "status", Json::object(), 4, kShort);
  double ms = static_cast<double>(platform::monotonic_ns() - start) / 1e6;
  ASSERT_FALSE(reply);
  EXPECT_EQ(reply.message(), kNoAnswer);
  EXPECT_GE(ms, 100.0);
  EXPECT_TRUE(testing::names_in(requests).empty());
}

TEST_F(AppRequestTest, LateReplyWithinTheLimitIsAccepted) {
  standin::StandIn app(folder);
  app.write_heartbeat();
  // The tray app answers once the request has waited 150 ms of its 500.
  TurnWaits waits(150, [&] { app.answer_waiting(); });
  auto reply = app_request(folder, "status", Json::object(), 20, kShort, waits);
  ASSERT_TRUE(reply) << reply.message();
  EXPECT_EQ(bool_member(*reply, "ok"), true);
}

// The system's waits, with the change notification opened by `open` and the
// requests that found none counted.
class CountingWaits final : public ReplyWaits {
 public:
  using OpenWatch = std::unique_ptr<platform::DirWatch> (*)(const std::string& folder);
  explicit CountingWaits(OpenWatch open) : open_(open) {}
  uint64_t now_ns() override { return system_waits().now_ns(); }
  std::unique_ptr<platform::DirWatch> open_watch(const std::string& folder) override {
    std::unique_ptr<platform::DirWatch> watch = open_(folder);
    if (!watch) ++unwatched;
    return watch;
  }
  void wait(platform::DirWatch* watch, unsigned ms) override {
    system_waits().wait(watch, ms);
  }
  uint64_t unwatched = 0;

 private:
  OpenWatch open_;
};

// A request waits on a change notification; without one it polls, and the
// count shows it, so a watch that silently fails fails here.
TEST_F(AppRequestTest, WaitsOnTheWatchElsePolls) {
  struct Row {
    CountingWaits::OpenWatch open;
    uint64_t unwatched;
  };
  const Row rows[] = {
      {&platform::DirWatch::open, 0},
      {[](const std::string&) { return std::unique_ptr<platform::DirWatch>(); }, 1},
  };
  standin::StandIn app(folder);
  app.start();
  for (const Row& row : rows) {
    CountingWaits waits(row.open);
    auto reply = app_request(folder, "status", Json::object(), 5, {}, waits);
    ASSERT_TRUE(reply) << reply.message();
    EXPECT_EQ(bool_member(*reply, "ok"), true);
    EXPECT_EQ(waits.unwatched, row.unwatched);
  }
}

TEST_F(AppRequestTest, UnwritableRequestFolderFails) {
  ASSERT_TRUE(platform::write_file(join_path(folder, "alive"), std::to_string(unix_now())));
  // A file where the requests folder should be.
  ASSERT_TRUE(platform::write_file(requests, "in the way"));
  auto reply = app_request(folder, "status", Json::object(), 1);
  ASSERT_FALSE(reply);
  const std::string prefix = "couldn't write the request: ";
  EXPECT_EQ(reply.message().substr(0, prefix.size()), prefix) << reply.message();
  EXPECT_NE(reply.message().find("(os error "), std::string::npos) << reply.message();
}

TEST(QuitTrayApp, AsksTheTrayAppToQuitAndWaits) {
  testing::TempDir dir;
  EXPECT_TRUE(quit_tray_app(dir.path()));  // no tray app: nothing to do
  auto app = platform::Child::start(testing::built_program("vesk-standin"),
                                    {"--folder", dir.path()});
  ASSERT_TRUE(app) << app.message();
  for (int i = 0; i < 500 && !app_process_alive(dir.path()); ++i) platform::sleep_ms(20);
  ASSERT_TRUE(app_alive(dir.path()));
  EXPECT_TRUE(quit_tray_app(dir.path()));
  // It was told to quit, and had gone when the call returned.
  EXPECT_FALSE(app_process_alive(dir.path()));
  auto done = app->wait();
  ASSERT_TRUE(done) << done.message();
  EXPECT_EQ(done->exit_code, 0);
}

}  // namespace
}  // namespace vesk::ipc
