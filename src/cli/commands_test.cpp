// What each command sends to the tray app and how its answer is shown.
#include <gtest/gtest.h>

#include <cmath>

#include "cli_fake.h"

namespace vesk::cli {
namespace {

using testing::Cli;

TEST(Commands, RequestsSent) {
  struct Row {
    std::vector<std::string> args;
    const char* kind;
    const char* payload;  // compact JSON
  };
  const Row rows[] = {
      {{"on"}, "mode", R"({"minutes":null,"mode":"always"})"},
      {{"on", "30"}, "mode", R"({"minutes":30.0,"mode":"always"})"},
      {{"on", "0.5"}, "mode", R"({"minutes":0.5,"mode":"always"})"},
      {{"auto"}, "mode", R"({"mode":"auto"})"},
      {{"off", "extra"}, "mode", R"({"mode":"off"})"},
      {{"hold"}, "hold", R"({"minutes":null,"reason":"Held from the command line"})"},
      {{"hold", "30", "build", "and", "test"}, "hold", R"({"minutes":30.0,"reason":"build and test"})"},
      {{"hold", "build", "30"}, "hold", R"({"minutes":null,"reason":"build 30"})"},
      {{"hold", "30"}, "hold", R"({"minutes":30.0,"reason":"Held from the command line"})"},
      {{"hold", "30", "   "}, "hold", R"({"minutes":30.0,"reason":"Held from the command line"})"},
      {{"hold", "-5", "x"}, "hold", R"({"minutes":-5.0,"reason":"x"})"},
      {{"hold", "inf", "x"}, "hold", R"({"minutes":null,"reason":"x"})"},
      {{"hold", "a", "", "b "}, "hold", R"({"minutes":null,"reason":"a  b "})"},
      {{"release"}, "release", R"({"id":null})"},
      {{"release", "7", "8"}, "release", R"({"id":"7"})"},
      {{"wake-at", "off"}, "wake_at", R"({"minutes":null,"time":"off"})"},
      {{"wake_at", "7:30", "20"}, "wake_at", R"({"minutes":20.0,"time":"7:30"})"},
      {{"wake-at", "25:99", "x"}, "wake_at", R"({"minutes":null,"time":"25:99"})"},
      {{"check-in", "15"}, "set", R"({"key":"check_in_minutes","value":15.0})"},
      {{"check_in", "off"}, "set", R"({"key":"check_in_minutes","value":null})"},
      {{"sleep"}, "sleep_now", R"({})"},
      {{"preset", "balanced", "x"}, "preset", R"({"preset":"balanced"})"},
      {{"rule", "chrome", "pause"}, "rule", R"({"app":"chrome","rule":"pause"})"},
      {{"watch", "blender"}, "watch", R"({"app":"blender","remove":false})"},
      {{"watch", "--remove", "blender"}, "watch", R"({"app":"blender","remove":true})"},
      {{"watch", "blender", "--remove"}, "watch", R"({"app":"blender","remove":true})"},
      {{"watch", "--x", "-x", "y"}, "watch", R"({"app":"-x","remove":false})"},
      {{"set", "battery_floor", "30"}, "set", R"({"key":"battery_floor","value":"30"})"},
      {{"set", "ntfy_topic"}, "set", R"({"key":"ntfy_topic","value":""})"},
      {{"settings"}, "schema", R"({})"},
      {{"schema"}, "schema", R"({})"},
      {{"power"}, "power", R"({})"},
      {{"energy"}, "energy", R"({})"},
      {{"config"}, "config", R"({})"},
  };
  for (const Row& row : rows) {
    Cli cli;
    cli.replies.push_back(Json{{"ok", true}});
    cli.run(row.args);
    ASSERT_EQ(cli.sent.size(), 1u) << row.args[0];
    EXPECT_EQ(cli.sent[0].kind, row.kind) << row.args[0];
    EXPECT_EQ(compact_json(cli.sent[0].payload), row.payload) << row.args[0];
    EXPECT_EQ(cli.sent[0].wait, 10u);
  }
}

TEST(Commands, OnRefusalsSendNothing) {
  for (auto args : std::vector<std::vector<std::string>>{
           {"on", "0"}, {"on", "abc"}, {"on", "until", "24"}, {"on", "30", "40"}}) {
    Cli cli;
    EXPECT_EQ(cli.run(args), 2);
    EXPECT_TRUE(cli.sent.empty());
    EXPECT_EQ(cli.io.out_, "");
    EXPECT_EQ(cli.io.err_.substr(0, 6), "vesk: ");
  }
}

TEST(Commands, OnUntilSendsWholeMinutes) {
  Cli cli;
  cli.replies.push_back(Json{{"ok", true}});
  EXPECT_EQ(cli.run({"on", "until", "7"}), 0);
  ASSERT_EQ(cli.sent.size(), 1u);
  const Json& minutes = cli.sent[0].payload["minutes"];
  ASSERT_TRUE(minutes.is_number_float());
  double m = minutes.get<double>();
  EXPECT_EQ(m, std::floor(m));
  EXPECT_GE(m, 1);
  EXPECT_LE(m, 24 * 60 + 60);
}

TEST(Commands, ReportsIgnoreOkAndError) {
  for (const char* word : {"settings", "power"}) {
    Cli cli;
    cli.replies.push_back(Json{{"ok", false}, {"error", "nope"}});
    EXPECT_EQ(cli.run({word}), 0) << word;
    EXPECT_EQ(cli.io.out_.find("nope"), std::string::npos) << word;
    EXPECT_FALSE(cli.io.out_.empty());
  }
  Cli cli;
  cli.replies.push_back(Json{{"ok", false}, {"error", "nope"}});
  EXPECT_EQ(cli.run({"power", "--json"}), 0);
  EXPECT_EQ(cli.io.out_, "{\n  \"error\": \"nope\",\n  \"ok\": false\n}\n");
  Cli failing;
  failing.replies.push_back(Error{"Vesk didn't answer in time."});
  EXPECT_EQ(failing.run({"settings"}), 2);
  EXPECT_EQ(failing.io.err_, "vesk: Vesk didn't answer in time.\n");
}

TEST(Commands, RenderersFollowTheWordTyped) {
  struct Row {
    std::vector<std::string> args;
    Json reply;
    std::string out;
    int status;
  };
  const Row rows[] = {
      {{"hold"}, {{"hold", {{"id", "4"}}}, {"status", "S"}}, "Holding (id 4). S\n", 0},
      {{"release"}, {{"released", 2}, {"status", "S"}}, "Released 2. S\n", 0},
      {{"release", "9"}, {{"ok", false}, {"error", "No hold 9."}}, "No hold 9.\n", 1},
      {{"energy"}, {{"ok", false}, {"apps", Json::array()}}, "", 1},
      {{"config"}, {{"path", "/p"}}, "/p\n", 0},
      {{"wake-at", "7:00"}, Json::object(), "Done\n", 0},
      {{"status"}, {{"status", "S"}, {"holds", {{{"id", "1"}, {"reason", "r"}}}}}, "S\n  hold 1: r\n", 0},
  };
  for (const Row& row : rows) {
    Cli cli;
    cli.replies.push_back(row.reply);
    EXPECT_EQ(cli.run(row.args), row.status) << row.args[0];
    EXPECT_EQ(cli.io.out_, row.out) << row.args[0];
  }
}

}  // namespace
}  // namespace vesk::cli
