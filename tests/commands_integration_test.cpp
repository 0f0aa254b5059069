// Every tray-app command of the front end, run as `vesk` against the
// stand-in: the request document sent and the text printed.
#include <gtest/gtest.h>

#include "harness.h"
#include "standin/standin.h"

namespace vesk {
namespace {

using testing::Sandbox;

class StandInCommands : public ::testing::Test {
 protected:
  void SetUp() override { app.start(); }

  // Runs vesk and returns its output; checks the exit status and that
  // nothing went to standard error.
  std::string ok(const std::vector<std::string>& args, int status = 0) {
    auto run = box.vesk(args);
    EXPECT_EQ(run.exit_code, status) << args[0] << ": " << run.err;
    EXPECT_EQ(run.err, "") << args[0];
    return run.out;
  }
  std::string last_request() {
    auto seen = app.requests();
    return seen.empty() ? "" : seen.back().text;
  }

  Sandbox box;
  standin::StandIn app{box.app_folder()};
};

TEST_F(StandInCommands, KeepAwakeModes) {
  EXPECT_FALSE(ok({"on", "30"}).empty());
  EXPECT_EQ(last_request(), R"({"args":{"minutes":30.0,"mode":"always"},"cmd":"mode"})");
  EXPECT_FALSE(ok({"on"}).empty());
  EXPECT_EQ(last_request(), R"({"args":{"minutes":null,"mode":"always"},"cmd":"mode"})");
  ok({"on", "until", "7"});
  EXPECT_NE(last_request().find(R"("mode":"always")"), std::string::npos);
  ok({"off"});
  ok({"auto"});
  EXPECT_EQ(last_request(), R"({"args":{"mode":"auto"},"cmd":"mode"})");

  auto refused = box.vesk({"on", "0"});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_EQ(refused.err, "vesk: \"0\" isn't a number of minutes\n");
  EXPECT_EQ(app.requests().size(), 5u);  // nothing sent for the refusal
}

TEST_F(StandInCommands, HoldsShowInStatusAndEnd) {
  std::string held = ok({"hold", "30", "build", "and", "test"});
  EXPECT_EQ(held.substr(0, 16), "Holding (id 1). ");
  EXPECT_EQ(last_request(), R"({"args":{"minutes":30.0,"reason":"build and test"},"cmd":"hold"})");
  ok({"hold"});

  std::string status = ok({"status"});
  EXPECT_NE(status.find("\n  hold 1: build and test\n"), std::string::npos) << status;
  EXPECT_NE(status.find("\n  hold 2: Held from the command line\n"), std::string::npos) << status;

  EXPECT_EQ(ok({"release", "1"}).substr(0, 11), "Released 1.");
  EXPECT_EQ(last_request(), R"({"args":{"id":"1"},"cmd":"release"})");
  // An id that is gone: the tray app refuses.
  std::string again = ok({"release", "1"}, 1);
  EXPECT_FALSE(again.empty());
  EXPECT_EQ(ok({"release"}).substr(0, 11), "Released 1.");
  EXPECT_EQ(last_request(), R"({"args":{"id":null},"cmd":"release"})");
  EXPECT_EQ(ok({"status"}).find("  hold "), std::string::npos);
}

TEST_F(StandInCommands, SettingsAndSafetyRules) {
  ok({"set", "battery_floor", "30"});
  EXPECT_EQ(last_request(), R"({"args":{"key":"battery_floor","value":"30"},"cmd":"set"})");
  ok({"check-in", "15"});
  EXPECT_EQ(last_request(), R"({"args":{"key":"check_in_minutes","value":15.0},"cmd":"set"})");
  // A word that isn't a number goes as null; the tray app says what it takes.
  EXPECT_EQ(ok({"check-in", "abc"}, 1), "check_in_minutes takes 0, 15, 30 or 60.\n");
  EXPECT_EQ(last_request(), R"({"args":{"key":"check_in_minutes","value":null},"cmd":"set"})");
  ok({"set", "ntfy_topic", "my-topic"});

  // The two settings that only move in the safer direction.
  std::string lower = ok({"set", "battery_floor", "20"}, 1);
  EXPECT_FALSE(lower.empty());
  std::string heat = ok({"set", "heat_guard", "off"}, 1);
  EXPECT_FALSE(heat.empty());
  std::string unknown = ok({"set", "no_such_key", "1"}, 1);
  EXPECT_FALSE(unknown.empty());

  std::string list = ok({"settings"});
  EXPECT_NE(list.find("battery_floor = 30   [0-80]\n    "), std::string::npos) << list;
  EXPECT_NE(list.find("check_in_minutes = 15   [0|15|30|60]\n"), std::string::npos) << list;
  EXPECT_NE(list.find("heat_guard = true   [on|off]\n"), std::string::npos) << list;
  EXPECT_NE(list.find("ntfy_topic = \"my-topic\"   []\n"), std::string::npos) << list;
  EXPECT_NE(list.find("mode = \"auto\"   [auto|always|off]\n"), std::string::npos) << list;
  const std::string tail = "\nChange with: vesk set <key> <value>. Per-app rules: vesk rule <app> "
                           "leave|slow|pause. File: " + app.settings_path() + "\n";
  ASSERT_GE(list.size(), tail.size());
  EXPECT_EQ(list.substr(list.size() - tail.size()), tail);
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 12 * 2 + 2);
  EXPECT_EQ(ok({"schema"}), list);

  EXPECT_EQ(ok({"config"}), app.settings_path() + "\n");
  EXPECT_EQ(ok({"set", "ntfy_topic"}).empty(), false);
  EXPECT_EQ(last_request(), R"({"args":{"key":"ntfy_topic","value":""},"cmd":"set"})");
}

TEST_F(StandInCommands, PresetsRulesAndWatchedApps) {
  ok({"preset", "max_battery"});
  EXPECT_EQ(last_request(), R"({"args":{"preset":"max_battery"},"cmd":"preset"})");
  ok({"preset", "warp"}, 1);
  ok({"rule", "chrome", "pause"});
  EXPECT_EQ(last_request(), R"({"args":{"app":"chrome","rule":"pause"},"cmd":"rule"})");
  ok({"watch", "blender"});
  ok({"watch", "--remove", "blender"});
  EXPECT_EQ(last_request(), R"({"args":{"app":"blender","remove":true},"cmd":"watch"})");
  ok({"watch", "ffmpeg"});
  std::string status = ok({"status"});
  EXPECT_NE(status.find("  ffmpeg: idle"), std::string::npos) << status;
  EXPECT_EQ(status.find("blender"), std::string::npos) << status;
  ok({"wake-at", "7:30", "20"});
  EXPECT_EQ(last_request(), R"({"args":{"minutes":20.0,"time":"7:30"},"cmd":"wake_at"})");
  ok({"wake-at", "25:99"}, 1);
  ok({"sleep"});
  EXPECT_EQ(last_request(), R"({"args":{},"cmd":"sleep_now"})");
}

TEST_F(StandInCommands, Reports) {
  std::string power = ok({"power"});
  EXPECT_TRUE(power.rfind("Using ", 0) == 0 || power.rfind("Power: ", 0) == 0) << power;
  EXPECT_EQ(last_request(), R"({"args":{},"cmd":"power"})");

  std::string energy = ok({"energy"});
  EXPECT_EQ(last_request(), R"({"args":{},"cmd":"energy"})");
  // Each line: percent in six columns, "%", two spaces, the name, the lid.
  size_t start = 0;
  while (start < energy.size()) {
    size_t end = energy.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    std::string line = energy.substr(start, end - start);
    EXPECT_EQ(line.substr(6, 3), "%  ") << line;
    EXPECT_NE(line.find(" lid closed: "), std::string::npos) << line;
    start = end + 1;
  }

  auto json = box.vesk({"energy", "--json"});
  EXPECT_EQ(json.exit_code, 0);
  EXPECT_EQ(json.out.substr(0, 2), "{\n");
  EXPECT_NE(json.out.find("\"apps\": ["), std::string::npos);
}

}  // namespace
}  // namespace vesk
