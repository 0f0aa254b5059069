// The stand-in tray app: its answers with a fake machine (clock, processes,
// battery), and a few exchanges over the real app link.
#include "standin/standin.h"

#include <gtest/gtest.h>

#include <set>

#include "harness.h"
#include "ipc/app_link.h"
#include "ipc/liveness.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "standin/system_info.h"
#include "standin/tray.h"

namespace vesk::standin {
namespace {

using platform::join_path;

constexpr uint64_t kMinute = 60ULL * 10000000ULL;  // FILETIME units

// A machine whose clock, processes and battery the test sets.
struct FakeMachine {
  uint64_t now = platform::kUnixEpochFiletime + 1800000000ULL * 10000000ULL;
  uint64_t mono = 1000;
  std::set<uint32_t> running{100, 200};
  std::optional<standin::BatteryStatus> battery;
  // process_cpu_times answers these in turn, the last one again and again.
  std::vector<std::vector<standin::ProcessCpu>> samples;
  size_t next_sample = 0;

  Machine machine() {
    Machine m;
    m.now = [this] { return now; };
    m.monotonic_ns = [this] { return mono; };
    m.sleep_ms = [this](unsigned ms) { mono += ms * 1000000ULL; };
    m.process_running = [this](uint32_t pid) { return running.count(pid) > 0; };
    m.battery = [this] { return battery; };
    m.processes = [this] {
      if (samples.empty()) return std::vector<standin::ProcessCpu>{};
      auto& s = samples[std::min(next_sample, samples.size() - 1)];
      ++next_sample;
      return s;
    };
    m.cpu_count = 2;
    return m;
  }
};

class StandInTray : public ::testing::Test {
 protected:
  testing::TempDir dir;
  std::string path = join_path(dir.path(), "settings.json");
  FakeMachine fake;

  Tray make() { return Tray(path, fake.machine()); }

  static void expect_refusal(const Json& reply, const std::string& context) {
    EXPECT_EQ(bool_member(reply, "ok"), false) << context << ": " << reply.dump();
    ASSERT_NE(string_member(reply, "error"), nullptr) << context;
    EXPECT_FALSE(string_member(reply, "error")->empty()) << context;
    ASSERT_NE(string_member(reply, "status"), nullptr) << context;
  }
  static void expect_done(const Json& reply, const std::string& context) {
    EXPECT_EQ(bool_member(reply, "ok"), true) << context << ": " << reply.dump();
    ASSERT_NE(string_member(reply, "status"), nullptr) << context;
    const std::string& status = *string_member(reply, "status");
    EXPECT_FALSE(status.empty()) << context;
    EXPECT_EQ(status.find('\n'), std::string::npos) << context;
    EXPECT_EQ(member(reply, "error"), nullptr) << context;
  }
  static Json value_of(Tray& tray, std::string_view key) {
    Json schema = tray.handle("schema", Json::object());
    for (const Json& entry : schema["settings"]) {
      if (entry["key"] == key) return entry["value"];
    }
    return Json();
  }
};

// ---- Settings ------------------------------------------------------------------

TEST_F(StandInTray, SetTakesTypedTextAndJsonValues) {
  struct Row {
    std::string key;
    Json value;
    Json stored;  // the value afterwards; kNo: refused, the value unchanged
  };
  const Json kNo = Json::value_t::discarded;
  const Row rows[] = {
      {"low_power", "off", false},
      {"low_power", " ON ", true},
      {"low_power", false, false},
      {"low_power", "maybe", kNo},
      {"low_power", 1, kNo},
      {"low_power", nullptr, kNo},
      {"battery_floor", "30", 30},
      {"battery_floor", 40, 40},
      {"battery_floor", 50.0, 50},
      {"battery_floor", 55.5, kNo},
      {"battery_floor", "81", kNo},
      {"battery_floor", "-5", kNo},
      {"battery_floor", "ten", kNo},
      {"battery_floor", true, kNo},
      {"quiet_minutes", "1", 1},
      {"quiet_minutes", 240, 240},
      {"quiet_minutes", 0, kNo},
      {"quiet_minutes", "241", kNo},
      {"quiet_minutes", nullptr, kNo},
      {"check_in_minutes", "15", 15},
      {"check_in_minutes", 30, 30},
      {"check_in_minutes", 60.0, 60},
      {"check_in_minutes", nullptr, kNo},  // what `vesk check-in abc` sends
      {"check_in_minutes", 0, 0},
      {"check_in_minutes", "abc", kNo},
      {"check_in_minutes", 45, kNo},
      {"check_in_minutes", true, kNo},
      {"check_in_minutes", "30", 30},
      {"check_in_minutes", "off", 0},
      {"check_in_minutes", 20, kNo},
      {"check_in_minutes", "45", kNo},
      {"preset", "max_battery", "max_battery"},
      {"preset", "Full_Speed", "full_speed"},
      {"preset", "fast", kNo},
      {"preset", nullptr, kNo},
      {"preset", 1, kNo},
      {"mode", "always", "always"},
      {"mode", "sometimes", kNo},
      {"mode", 1, kNo},
      {"mode", nullptr, kNo},
      {"mode", " Off ", "off"},
      {"ntfy_topic", "my-laptop_42", "my-laptop_42"},
      {"ntfy_topic", "has space", kNo},
      {"ntfy_topic", std::string(65, 'a'), kNo},
      {"ntfy_topic", nullptr, kNo},
      {"ntfy_topic", "", ""},
      {"ntfy_topic", 5, kNo},
      {"notify_done", "yes", true},
      {"notify_done", true, true},
      {"only_on_power", "on", true},
      {"heat_guard", "on", true},
  };
  Tray tray = make();
  for (const Row& row : rows) {
    std::string context = row.key + " = " + row.value.dump();
    Json before = value_of(tray, row.key);
    Json reply = tray.handle("set", {{"key", row.key}, {"value", row.value}});
    if (row.stored.is_discarded()) {
      expect_refusal(reply, context);
      EXPECT_NE(string_member(reply, "error")->find(row.key), std::string::npos) << context;
      EXPECT_EQ(value_of(tray, row.key), before) << context;
    } else {
      expect_done(reply, context);
      EXPECT_EQ(reply["key"], row.key) << context;
      EXPECT_EQ(reply["value"], row.stored) << context;
      EXPECT_EQ(value_of(tray, row.key), row.stored) << context;
    }
  }
}

TEST_F(StandInTray, SetRefusesUnknownAndMissingKeys) {
  Tray tray = make();
  for (const Json& args : {Json{{"key", "brightness"}, {"value", "on"}}, Json{{"value", "on"}},
                           Json{{"key", 5}, {"value", "on"}}, Json::object()}) {
    Json reply = tray.handle("set", args);
    expect_refusal(reply, args.dump());
  }
  EXPECT_NE(string_member(tray.handle("set", {{"key", "brightness"}, {"value", 1}}), "error")
                ->find("brightness"),
            std::string::npos);
  // Each kind of setting says what it takes; a number sent as 20.0 is named
  // as the person typed it, and null (a word that isn't a number) not at all.
  const std::pair<Json, std::string> refusals[] = {
      {{{"key", "check_in_minutes"}, {"value", 20.0}},
       "check_in_minutes takes 0, 15, 30 or 60, not 20."},
      {{{"key", "check_in_minutes"}, {"value", nullptr}}, "check_in_minutes takes 0, 15, 30 or 60."},
      {{{"key", "check_in_minutes"}, {"value", "abc"}},
       "check_in_minutes takes 0, 15, 30 or 60, not \"abc\"."},
      {{{"key", "preset"}, {"value", "fast"}},
       "preset takes max_battery, balanced or full_speed, not \"fast\"."},
      {{{"key", "mode"}, {"value", 1}}, "mode takes auto, always or off, not 1."},
      {{{"key", "low_power"}, {"value", "maybe"}}, "low_power takes on or off, not \"maybe\"."},
      {{{"key", "battery_floor"}, {"value", 55.5}},
       "battery_floor takes a whole number from 0 to 80, not 55.5."},
      {{{"key", "quiet_minutes"}, {"value", nullptr}},
       "quiet_minutes takes a whole number from 1 to 240."},
      {{{"key", "ntfy_topic"}, {"value", 5}}, "ntfy_topic takes a text, not 5."},
      {{{"key", "ntfy_topic"}, {"value", "has space"}},
       "ntfy_topic takes only letters, digits, - and _ (at most 64), not \"has space\"."},
  };
  for (const auto& [args, message] : refusals) {
    EXPECT_EQ(tray.handle("set", args)["error"], message) << args.dump();
  }
}

TEST_F(StandInTray, BatteryFloorOnlyRises) {
  Tray tray = make();
  ASSERT_EQ(value_of(tray, "battery_floor"), 10);
  struct Step {
    Json value;
    bool ok;
    int after;
  };
  const Step steps[] = {
      {"20", true, 20}, {15, false, 20}, {"0", false, 20}, {20, true, 20},
      {"25", true, 25}, {"24", false, 25}, {80, true, 80}, {"79", false, 80},
  };
  for (const Step& step : steps) {
    Json reply = tray.handle("set", {{"key", "battery_floor"}, {"value", step.value}});
    if (step.ok) {
      expect_done(reply, step.value.dump());
    } else {
      expect_refusal(reply, step.value.dump());
      EXPECT_NE(string_member(reply, "error")->find("lowered from the Vesk menu"),
                std::string::npos)
          << *string_member(reply, "error");
    }
    EXPECT_EQ(value_of(tray, "battery_floor"), step.after) << step.value.dump();
  }
  // What was refused was not saved either.
  Tray reread = make();
  EXPECT_EQ(value_of(reread, "battery_floor"), 80);
}

TEST_F(StandInTray, HeatGuardOnlyTurnsOn) {
  Tray tray = make();
  for (const Json& off : {Json("off"), Json(false), Json("false"), Json("OFF")}) {
    Json reply = tray.handle("set", {{"key", "heat_guard"}, {"value", off}});
    expect_refusal(reply, off.dump());
    EXPECT_NE(string_member(reply, "error")->find("Vesk menu"), std::string::npos);
    EXPECT_EQ(value_of(tray, "heat_guard"), true);
  }
  expect_done(tray.handle("set", {{"key", "heat_guard"}, {"value", "on"}}), "on");

  // Turned off in the menu (the file), it can be turned on again from here.
  ASSERT_TRUE(platform::write_file(path, R"({"settings":{"heat_guard":false}})"));
  Tray reread = make();
  EXPECT_EQ(value_of(reread, "heat_guard"), false);
  expect_done(reread.handle("set", {{"key", "heat_guard"}, {"value", "off"}}), "stays off");
  expect_done(reread.handle("set", {{"key", "heat_guard"}, {"value", true}}), "on");
  EXPECT_EQ(value_of(reread, "heat_guard"), true);
}

TEST_F(StandInTray, SettingsRulesAndWatchListSurviveARestart) {
  {
    Tray tray = make();
    expect_done(tray.handle("set", {{"key", "low_power"}, {"value", "off"}}), "low_power");
    expect_done(tray.handle("set", {{"key", "check_in_minutes"}, {"value", 30}}), "check-in");
    expect_done(tray.handle("set", {{"key", "ntfy_topic"}, {"value", "alerts"}}), "topic");
    expect_done(tray.handle("preset", {{"preset", "max_battery"}}), "preset");
    expect_done(tray.handle("rule", {{"app", "Slack.exe"}, {"rule", "leave"}}), "rule");
    expect_done(tray.handle("watch", {{"app", "blender"}}), "watch");
    expect_done(tray.handle("wake_at", {{"time", "7:05"}, {"minutes", 20}}), "wake");
  }
  // Written whole: no temporary file is left beside it.
  EXPECT_EQ(testing::names_in(dir.path()), std::vector<std::string>{"settings.json"});

  Tray tray = make();
  EXPECT_EQ(value_of(tray, "low_power"), false);
  EXPECT_EQ(value_of(tray, "check_in_minutes"), 30);
  EXPECT_EQ(value_of(tray, "ntfy_topic"), "alerts");
  EXPECT_EQ(value_of(tray, "preset"), "max_battery");
  EXPECT_EQ(value_of(tray, "battery_floor"), 10);  // untouched: the default
  EXPECT_EQ(tray.stored().rules, (std::map<std::string, std::string>{{"slack", "leave"}}));
  EXPECT_EQ(tray.stored().watch, std::vector<std::string>{"blender"});
  ASSERT_TRUE(tray.stored().wake);
  EXPECT_EQ(tray.stored().wake->time, "07:05");
  EXPECT_EQ(tray.stored().wake->minutes, 20.0);
  Json status = tray.handle("status", Json::object());
  EXPECT_EQ(status["watching"],
            (Json::array({{{"name", "blender"}, {"working", false}, {"keeps_awake", true}}})));
}

TEST_F(StandInTray, MissingOrUnreadableFileMeansDefaults) {
  const std::string files[] = {
      "",
      "{not json",
      "[1,2]",
      "\xEF\xBB\xBF{}",
      R"({"settings":[]})",
  };
  SettingsRecord defaults;
  for (const std::string& text : files) {
    ASSERT_TRUE(platform::write_file(path, text));
    Tray tray = make();
    EXPECT_EQ(tray.stored().settings.battery_floor, defaults.battery_floor) << text;
    EXPECT_EQ(tray.stored().settings.preset, defaults.preset) << text;
    EXPECT_TRUE(tray.stored().rules.empty()) << text;
  }
  // A value that does not read keeps its default; the others still count.
  ASSERT_TRUE(platform::write_file(
      path, R"({"settings":{"battery_floor":99,"quiet_minutes":"30","heat_guard":"off"},)"
            R"("rules":{"chrome":"explode","zoom":"pause"},"watch":["ffmpeg",3]})"));
  Tray tray = make();
  EXPECT_EQ(tray.stored().settings.battery_floor, 10u);
  EXPECT_EQ(tray.stored().settings.quiet_minutes, 30u);
  EXPECT_FALSE(tray.stored().settings.heat_guard);
  EXPECT_EQ(tray.stored().rules, (std::map<std::string, std::string>{{"zoom", "pause"}}));
  EXPECT_EQ(tray.stored().watch, std::vector<std::string>{"ffmpeg"});
}

TEST_F(StandInTray, SchemaFollowsTheCatalogue) {
  Tray tray = make();
  Json reply = tray.handle("schema", Json::object());
  expect_done(reply, "schema");
  EXPECT_EQ(reply["config_file"], path);
  const Json& entries = reply["settings"];
  ASSERT_TRUE(entries.is_array());
  auto rows = settings::catalogue();
  ASSERT_EQ(entries.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const Json& e = entries[i];
    const settings::SettingRow& row = rows[i];
    EXPECT_EQ(e["key"], row.key);
    EXPECT_EQ(e["description"], row.description);
    EXPECT_EQ(e.contains("note"), !row.note.empty()) << row.key;
    EXPECT_EQ(e["allowed"], Json(settings::allowed_texts(row))) << row.key;
    const Json& value = e["value"];
    if (row.kind == settings::SettingKind::kBool) {
      EXPECT_TRUE(value.is_boolean()) << row.key;
    } else if (row.kind == settings::SettingKind::kInt || row.key == "check_in_minutes") {
      EXPECT_TRUE(value.is_number_integer()) << row.key;
    } else {
      EXPECT_TRUE(value.is_string()) << row.key;
    }
  }
  EXPECT_EQ(entries[0]["value"], "auto");
  EXPECT_EQ(entries[3]["allowed"], Json::array({"0-80"}));
  EXPECT_EQ(entries[9]["key"], "check_in_minutes");
  EXPECT_EQ(entries[9]["value"], 0);

  Json config = tray.handle("config", Json::object());
  expect_done(config, "config");
  EXPECT_EQ(config["path"], path);
}

TEST_F(StandInTray, RulesAndWatchListAreChecked) {
  Tray tray = make();
  struct Row {
    std::string kind;
    Json args;
    bool ok;
  };
  const Row rows[] = {
      {"rule", {{"app", "chrome"}, {"rule", "pause"}}, true},
      {"rule", {{"app", "chrome"}, {"rule", "Slow"}}, true},
      {"rule", {{"app", "chrome"}, {"rule", "default"}}, true},
      {"rule", {{"app", "chrome"}, {"rule", "freeze"}}, false},
      {"rule", {{"app", "  "}, {"rule", "slow"}}, false},
      {"rule", {{"rule", "slow"}}, false},
      {"rule", {{"app", "chrome"}}, false},
      {"preset", {{"preset", "balanced"}}, true},
      {"preset", {{"preset", "turbo"}}, false},
      {"preset", Json::object(), false},
      {"watch", {{"app", "ffmpeg"}}, true},
      {"watch", {{"app", "FFmpeg.exe"}}, true},  // already watched
      {"watch", {{"app", "blender"}, {"remove", true}}, false},
      {"watch", {{"app", "ffmpeg"}, {"remove", "yes"}}, false},
      {"watch", {{"app", "ffmpeg"}, {"remove", true}}, true},
      {"watch", {{"app", "ffmpeg"}, {"remove", true}}, false},
      {"watch", Json::object(), false},
  };
  for (const Row& row : rows) {
    Json reply = tray.handle(row.kind, row.args);
    if (row.ok) {
      expect_done(reply, row.kind + " " + row.args.dump());
    } else {
      expect_refusal(reply, row.kind + " " + row.args.dump());
    }
  }
  EXPECT_TRUE(tray.stored().rules.empty());
  EXPECT_TRUE(tray.stored().watch.empty());
}

// ---- Mode, holds, wakes ----------------------------------------------------------

TEST_F(StandInTray, AlwaysForMinutesReturnsToAuto) {
  Tray tray = make();
  Json reply = tray.handle("mode", {{"mode", "always"}, {"minutes", 30}});
  expect_done(reply, "always 30");
  EXPECT_EQ(reply["status"], "Keeping the laptop awake for 30 min.");
  EXPECT_EQ(tray.handle("status", Json::object())["mode"], "always");
  ASSERT_TRUE(tray.stored().mode_until);
  EXPECT_EQ(make().stored().mode_until, tray.stored().mode_until);  // the file keeps it

  fake.now += 29 * kMinute;
  Json status = tray.handle("status", Json::object());
  EXPECT_EQ(status["mode"], "always");
  EXPECT_NE(status["status"].get<std::string>().find("1 more min"), std::string::npos);

  fake.now += kMinute;
  EXPECT_EQ(tray.handle("status", Json::object())["mode"], "auto");
  EXPECT_EQ(make().stored().settings.mode, Mode::kAuto);  // saved too

  expect_done(tray.handle("mode", {{"mode", "off"}, {"minutes", nullptr}}), "off");
  EXPECT_EQ(tray.handle("status", Json::object())["mode"], "off");
  for (const Json& args : {Json{{"mode", "auto"}, {"minutes", 10}},
                           Json{{"mode", "always"}, {"minutes", 0}},
                           Json{{"mode", "always"}, {"minutes", "10"}},
                           Json{{"mode", "sometimes"}}, Json{{"mode", 1}},
                           Json{{"mode", nullptr}}, Json::object()}) {
    expect_refusal(tray.handle("mode", args), args.dump());
  }
  // The mode is judged as a "set" of the mode setting is.
  EXPECT_EQ(tray.handle("mode", {{"mode", "sometimes"}})["error"],
            "mode takes auto, always or off, not \"sometimes\".");
  EXPECT_EQ(tray.handle("mode", Json::object())["error"], "mode takes auto, always or off.");
  EXPECT_EQ(tray.handle("status", Json::object())["mode"], "off");
}

TEST_F(StandInTray, HoldsEndWhenTheirTimeIsUpOrTheirProcessEnds) {
  Tray tray = make();
  auto ids = [&] {
    std::vector<std::string> out;
    Json status = tray.handle("status", Json::object());
    for (const Json& h : status["holds"]) {
      out.push_back(h["id"].get<std::string>());
    }
    return out;
  };
  Json timed = tray.handle("hold", {{"minutes", 10}, {"reason", "build"}});
  expect_done(timed, "timed");
  Json forever = tray.handle("hold", {{"minutes", nullptr}, {"reason", "tests"}});
  Json owned = tray.handle("hold", {{"reason", "agent"}, {"pid", 100}});
  expect_done(owned, "owned");
  std::string t = timed["hold"]["id"].get<std::string>();
  std::string f = forever["hold"]["id"].get<std::string>();
  std::string o = owned["hold"]["id"].get<std::string>();
  EXPECT_EQ(std::set<std::string>({t, f, o}).size(), 3u);
  EXPECT_EQ(ids(), (std::vector<std::string>{t, f, o}));
  EXPECT_EQ(tray.handle("status", Json::object())["holds"][0],
            (Json{{"id", t}, {"reason", "build"}}));
  EXPECT_EQ(tray.handle("status", Json::object())["holds"][2],
            (Json{{"id", o}, {"pid", 100}, {"reason", "agent"}}));

  fake.now += 10 * kMinute - 1;
  EXPECT_EQ(ids(), (std::vector<std::string>{t, f, o}));
  fake.now += 1;
  EXPECT_EQ(ids(), (std::vector<std::string>{f, o}));
  fake.running.erase(100);
  EXPECT_EQ(ids(), (std::vector<std::string>{f}));
  fake.now += 1000 * kMinute;
  EXPECT_EQ(ids(), (std::vector<std::string>{f}));

  for (const Json& args : {Json{{"minutes", 0}}, Json{{"minutes", -5}}, Json{{"minutes", "5"}},
                           Json{{"minutes", 1e300}}, Json{{"minutes", 10080.5}},
                           Json{{"pid", -1}}, Json{{"pid", "100"}},
                           Json{{"pid", 100}}}) {
    expect_refusal(tray.handle("hold", args), args.dump());  // pid 100 has ended
  }
  // A hold lasts at most a week, the limit the stay_awake tool gives agents.
  EXPECT_EQ(tray.handle("hold", {{"minutes", 10081}})["error"],
            "minutes must be a number above 0 and at most 10080, not 10081.");
  EXPECT_EQ(ids(), (std::vector<std::string>{f}));

  // A reason with line breaks still makes one-line statuses.
  expect_done(tray.handle("hold", {{"reason", "two\nlines"}}), "two lines");
  Json status = tray.handle("status", Json::object());
  expect_done(status, "status");
  EXPECT_EQ(status["holds"][1]["reason"], "two lines");
  expect_done(tray.handle("hold", {{"minutes", 10080}}), "a week");
}

TEST_F(StandInTray, ReleaseVariants) {
  struct Row {
    std::string name;
    std::string kind;
    Json args;  // "$A" and "$B" stand for the ids of holds A (pid 100) and B (pid 200)
    bool ok;
    size_t released;
    std::vector<std::string> left;  // of "A", "B", "C" (C has no pid)
  };
  const Row rows[] = {
      {"one by id", "release", {{"id", "$A"}}, true, 1, {"B", "C"}},
      {"all with null", "release", {{"id", nullptr}}, true, 3, {}},
      {"all without id", "release", Json::object(), true, 3, {}},
      {"unknown id", "release", {{"id", "999"}}, false, 0, {"A", "B", "C"}},
      {"id of a wrong type", "release", {{"id", true}}, false, 0, {"A", "B", "C"}},
      {"own hold", "release_own", {{"id", "$A"}, {"pid", 100}}, true, 1, {"B", "C"}},
      {"someone else's", "release_own", {{"id", "$A"}, {"pid", 200}}, true, 0, {"A", "B", "C"}},
      {"own without pid", "release_own", {{"id", "$A"}}, false, 0, {"A", "B", "C"}},
      {"own, gone", "release_own", {{"id", "999"}, {"pid", 100}}, true, 0, {"A", "B", "C"}},
      {"by pid", "release_pid", {{"pid", 200}}, true, 1, {"A", "C"}},
      {"by pid, none", "release_pid", {{"pid", 300}}, true, 0, {"A", "B", "C"}},
      {"by pid, no pid", "release_pid", Json::object(), false, 0, {"A", "B", "C"}},
  };
  for (const Row& row : rows) {
    Tray tray = make();
    std::map<std::string, std::string> id_of;
    auto hold = [&](const std::string& name, Json args) {
      args["reason"] = name;
      id_of[name] = tray.handle("hold", args)["hold"]["id"].get<std::string>();
    };
    hold("A", {{"pid", 100}});
    hold("B", {{"pid", 200}});
    hold("C", Json::object());
    Json args = row.args;
    if (const std::string* id = string_member(args, "id"); id && id->front() == '$') {
      args["id"] = id_of[id->substr(1)];
    }
    Json reply = tray.handle(row.kind, args);
    if (row.ok) {
      expect_done(reply, row.name);
      EXPECT_EQ(reply["released"], row.released) << row.name;
    } else {
      expect_refusal(reply, row.name);
    }
    std::vector<std::string> left;
    for (const Hold& h : tray.holds()) left.push_back(h.reason);
    EXPECT_EQ(left, row.left) << row.name;
  }
}

TEST_F(StandInTray, WakeAtChecksTheTime) {
  Tray tray = make();
  struct Row {
    Json args;
    Json wake_at;  // the reply's wake_at; null for a refusal when `ok` is false
    bool ok;
  };
  const Row rows[] = {
      {{{"time", "07:30"}, {"minutes", 15}}, "07:30", true},
      {{{"time", "7:30"}, {"minutes", nullptr}}, "07:30", true},
      {{{"time", "23:59"}}, "23:59", true},
      {{{"time", "00:00"}}, "00:00", true},
      {{{"time", "24:00"}}, nullptr, false},
      {{{"time", "12:60"}}, nullptr, false},
      {{{"time", "12:5"}}, nullptr, false},
      {{{"time", "noon"}}, nullptr, false},
      {{{"time", "-1:30"}}, nullptr, false},
      {{{"time", 730}}, nullptr, false},
      {{{"time", "07:30"}, {"minutes", -1}}, nullptr, false},
      {Json::object(), nullptr, false},
      {{{"time", "off"}}, nullptr, true},
      {{{"time", "OFF"}, {"minutes", nullptr}}, nullptr, true},
  };
  for (const Row& row : rows) {
    Json reply = tray.handle("wake_at", row.args);
    if (row.ok) {
      expect_done(reply, row.args.dump());
      EXPECT_EQ(reply["wake_at"], row.wake_at) << row.args.dump();
    } else {
      expect_refusal(reply, row.args.dump());
    }
  }
  EXPECT_FALSE(tray.stored().wake);
}

// ---- Power and energy ---------------------------------------------------------------

TEST_F(StandInTray, StatusShowsTheBatteryOnlyWhenThereIsOne) {
  Tray tray = make();
  Json none = tray.handle("status", Json::object());
  expect_done(none, "no battery");
  EXPECT_FALSE(none.contains("battery"));
  EXPECT_FALSE(none.contains("hours_left_closed"));
  EXPECT_EQ(none["watching"], Json::array());

  fake.battery = standin::BatteryStatus{80, true, 12.0};
  Json plugged = tray.handle("status", Json::object());
  EXPECT_EQ(plugged["battery"], (Json{{"percent", 80.0}, {"on_power", true}}));
  EXPECT_FALSE(plugged.contains("hours_left_closed"));

  fake.battery = standin::BatteryStatus{60, false, std::nullopt};
  Json on_battery = tray.handle("status", Json::object());
  EXPECT_EQ(on_battery["battery"]["on_power"], false);
  ASSERT_TRUE(on_battery["hours_left_closed"].is_number());
  EXPECT_GT(on_battery["hours_left_closed"].get<double>(), 0);
}

TEST_F(StandInTray, PowerNamesTheSettingsThatCostBattery) {
  Tray tray = make();
  auto active = [&] {
    std::map<std::string, std::string> out;
    Json reply = tray.handle("power", Json::object());
    expect_done(reply, "power");
    for (const Json& s : reply["suspects"]) {
      EXPECT_TRUE(s["title"].is_string());
      EXPECT_TRUE(s["suggested_value"].is_string());
      if (s["active"] == true) {
        out[s["setting"].get<std::string>()] = s["suggested_value"].get<std::string>();
      }
    }
    return out;
  };
  EXPECT_TRUE(active().empty());  // the defaults are easy on the battery
  expect_done(tray.handle("set", {{"key", "low_power"}, {"value", "off"}}), "low_power");
  expect_done(tray.handle("preset", {{"preset", "full_speed"}}), "preset");
  EXPECT_EQ(active(), (std::map<std::string, std::string>{{"low_power", "on"},
                                                          {"preset", "balanced"}}));

  EXPECT_EQ(tray.handle("power", Json::object())["source"], "unknown");
  fake.battery = standin::BatteryStatus{50, false, 7.25};
  Json reply = tray.handle("power", Json::object());
  EXPECT_EQ(reply["source"], "battery");
  EXPECT_EQ(reply["system_watts"], 7.3);
  fake.battery = standin::BatteryStatus{50, true, 20.0};
  reply = tray.handle("power", Json::object());
  EXPECT_EQ(reply["source"], "mains");
  EXPECT_FALSE(reply.contains("system_watts"));  // a charging rate is not the draw
}

TEST_F(StandInTray, EnergyRanksAppsAndSaysWhatClosingTheLidDoes) {
  // Two logical processors and a 150 ms sample: 300 ms of CPU time is 100%.
  auto ms = [](uint64_t n) { return n * 10000ULL; };
  fake.samples = {
      {{1, "chrome", ms(1000)}, {2, "chrome", ms(0)}, {3, "slack", ms(50)},
       {4, "ffmpeg", ms(5000)}, {5, "zoom", ms(0)}, {6, "gone", ms(10)}},
      {{1, "chrome", ms(1030)}, {2, "chrome", ms(30)}, {3, "slack", ms(80)},
       {4, "ffmpeg", ms(5150)}, {5, "zoom", ms(3)}, {7, "newcomer", ms(90)}},
  };
  Tray tray = make();
  ASSERT_TRUE(tray.handle("rule", {{"app", "zoom"}, {"rule", "pause"}})["ok"]);
  Json reply = tray.handle("energy", Json::object());
  expect_done(reply, "energy");
  Json expected = Json::array({
      {{"name", "ffmpeg"}, {"cpu_percent", 50.0}, {"while_closed", "left alone"}},
      {{"name", "chrome"}, {"cpu_percent", 20.0}, {"while_closed", "slowed"}},
      {{"name", "slack"}, {"cpu_percent", 10.0}, {"while_closed", "slowed"}},
      {{"name", "zoom"}, {"cpu_percent", 1.0}, {"while_closed", "paused"}},
      {{"name", "newcomer"}, {"cpu_percent", 0.0}, {"while_closed", "left alone"}},
  });
  EXPECT_EQ(reply["apps"], expected);

  // What each preset does to a browser and a chat app.
  struct Row {
    std::string preset, chrome, slack;
  };
  for (const Row& row : {Row{"max_battery", "slowed", "paused"},
                         Row{"balanced", "slowed", "slowed"},
                         Row{"full_speed", "left alone", "left alone"}}) {
    ASSERT_TRUE(tray.handle("preset", {{"preset", row.preset}})["ok"]);
    fake.next_sample = 0;
    Json apps = tray.handle("energy", Json::object())["apps"];
    EXPECT_EQ(apps[1]["while_closed"], row.chrome) << row.preset;
    EXPECT_EQ(apps[2]["while_closed"], row.slack) << row.preset;
  }
}

TEST_F(StandInTray, EnergyListsAtMostTenApps) {
  std::vector<standin::ProcessCpu> many;
  for (uint32_t pid = 1; pid <= 30; ++pid) many.push_back({pid, "app" + std::to_string(pid), pid});
  fake.samples = {many};
  Tray tray = make();
  Json apps = tray.handle("energy", Json::object())["apps"];
  ASSERT_EQ(apps.size(), 10u);
  EXPECT_EQ(apps[0]["name"], "app30");  // the most CPU time so far breaks the tie
}

TEST_F(StandInTray, UnknownRequestIsRefused) {
  Tray tray = make();
  expect_refusal(tray.handle("dance", Json::object()), "dance");
  expect_done(tray.handle("sleep_now", Json::object()), "sleep_now");
}

// ---- Over the app link ------------------------------------------------------------------

Json ask(const std::string& folder, std::string_view kind, Json payload) {
  auto reply = ipc::app_request(folder, kind, std::move(payload), 5);
  EXPECT_TRUE(reply) << kind << ": " << reply.message();
  return reply ? *reply : Json();
}

TEST(StandInLink, SettingsSurviveARestart) {
  testing::TempDir dir;
  {
    StandIn app(dir.path());
    app.start();
    EXPECT_EQ(ask(dir.path(), "set", {{"key", "battery_floor"}, {"value", "25"}})["ok"], true);
    EXPECT_EQ(ask(dir.path(), "set", {{"key", "check_in_minutes"}, {"value", 15}})["ok"], true);
    Json refused = ask(dir.path(), "set", {{"key", "battery_floor"}, {"value", "5"}});
    EXPECT_EQ(refused["ok"], false);
    EXPECT_TRUE(refused["error"].is_string());
    EXPECT_TRUE(refused["status"].is_string());
  }
  StandIn app(dir.path());
  app.start();
  Json schema = ask(dir.path(), "schema", Json::object());
  EXPECT_EQ(schema["config_file"], app.settings_path());
  EXPECT_EQ(schema["settings"][3]["key"], "battery_floor");
  EXPECT_EQ(schema["settings"][3]["value"], 25);
  EXPECT_EQ(schema["settings"][9]["value"], 15);
  EXPECT_EQ(ask(dir.path(), "config", Json::object())["path"],
            join_path(dir.path(), "settings.json"));
}

TEST(StandInLink, HoldEndsWithItsProcess) {
  testing::TempDir dir, other;
  StandIn app(dir.path());
  app.start();
  // A process that lives until told to quit: a second stand-in.
  auto child = platform::Child::start(testing::built_program("vesk-standin"),
                                      {"--folder", other.path()});
  ASSERT_TRUE(child) << child.message();
  for (int i = 0; i < 300 && !ipc::app_alive(other.path()); ++i) platform::sleep_ms(20);
  Json held = ask(dir.path(), "hold", {{"reason", "child"}, {"pid", child->pid()}});
  ASSERT_EQ(held["ok"], true) << held.dump();
  EXPECT_EQ(ask(dir.path(), "status", Json::object())["holds"].size(), 1u);

  ASSERT_TRUE(ask(other.path(), "quit", Json::object())["ok"]);
  ASSERT_TRUE(child->wait());
  Json status = ask(dir.path(), "status", Json::object());
  EXPECT_EQ(status["holds"], Json::array());
  EXPECT_TRUE(app.holds().empty());
  // Now that it has gone, a hold for it is refused.
  EXPECT_EQ(ask(dir.path(), "hold", {{"pid", child->pid()}})["ok"], false);
}

TEST(StandInLink, EveryRequestGetsAnObjectWithOkAndAStatus) {
  testing::TempDir dir;
  StandIn app(dir.path());
  app.start();
  const std::pair<std::string, Json> requests[] = {
      {"status", Json::object()},
      {"mode", {{"mode", "always"}, {"minutes", 5}}},
      {"hold", {{"minutes", nullptr}, {"reason", "tests"}}},
      {"release", {{"id", nullptr}}},
      {"release_own", {{"id", "1"}, {"pid", 1}}},
      {"release_pid", {{"pid", 1}}},
      {"wake_at", {{"time", "06:45"}, {"minutes", nullptr}}},
      {"set", {{"key", "notify_done"}, {"value", "on"}}},
      {"preset", {{"preset", "balanced"}}},
      {"rule", {{"app", "slack"}, {"rule", "pause"}}},
      {"watch", {{"app", "ffmpeg"}, {"remove", false}}},
      {"schema", Json::object()},
      {"config", Json::object()},
      {"power", Json::object()},
      {"energy", Json::object()},
      {"sleep_now", Json::object()},
  };
  for (const auto& [kind, payload] : requests) {
    Json reply = ask(dir.path(), kind, payload);
    ASSERT_TRUE(reply.is_object()) << kind;
    EXPECT_EQ(reply["ok"], true) << kind << ": " << reply.dump();
    ASSERT_TRUE(reply["status"].is_string()) << kind;
    EXPECT_EQ(reply["status"].get<std::string>().find('\n'), std::string::npos) << kind;
  }
  Json energy = ask(dir.path(), "energy", Json::object());
  ASSERT_TRUE(energy["apps"].is_array());
  EXPECT_LE(energy["apps"].size(), 10u);
  for (const Json& a : energy["apps"]) {
    EXPECT_TRUE(a["cpu_percent"].is_number());
    EXPECT_TRUE(a["name"].is_string());
    EXPECT_TRUE(a["while_closed"].is_string());
  }
}

// ---- The platform readings it uses ---------------------------------------------------------

TEST(StandInMachine, ProcessListHoldsThisProcess) {
  auto list = standin::process_cpu_times();
  auto self = std::find_if(list.begin(), list.end(), [](const standin::ProcessCpu& p) {
    return p.pid == platform::current_pid();
  });
  ASSERT_NE(self, list.end());
  EXPECT_FALSE(self->name.empty());
  EXPECT_NE(self->name.find("vesk_tests"), std::string::npos) << self->name;
}

TEST(StandInMachine, BatteryReadingIsInRange) {
  if (auto battery = standin::battery_status()) {
    EXPECT_GE(battery->percent, 0.0);
    EXPECT_LE(battery->percent, 100.0);
    if (battery->watts) {
      EXPECT_GE(*battery->watts, 0.0);
    }
  }
}

}  // namespace
}  // namespace vesk::standin
