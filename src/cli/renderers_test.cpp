#include "cli/renderers.h"

#include <gtest/gtest.h>

#include "base/json.h"

namespace vesk::cli {
namespace {

struct Row {
  const char* reply;  // JSON text
  std::string text;
};

void check(std::string (*render)(const Json&), std::initializer_list<Row> rows) {
  for (const Row& row : rows) {
    Json reply = Json::parse(row.reply);
    EXPECT_EQ(render(reply), row.text) << row.reply;
  }
}

TEST(Renderers, Status) {
  check(render_status, {
      {R"({})", "\n"},
      {R"({"status":"S","battery":{"percent":81,"on_power":false},"hours_left_closed":3.25})",
       "S\nBattery 81% \xC2\xB7 \xE2\x89\x88" "3 h 15 min left with the lid closed\n"},
      {R"({"battery":{"percent":100,"on_power":true},"hours_left_closed":2})",
       "\nBattery 100% \xC2\xB7 plugged in\n"},
      {R"({"battery":{}})", "\nBattery null%\n"},
      {R"({"battery":{"percent":87.0}})", "\nBattery 87.0%\n"},
      {R"({"battery":{"percent":"87"}})", "\nBattery null%\n"},
      {R"({"battery":null,"hours_left_closed":1})", "\nBattery null% \xC2\xB7 \xE2\x89\x88" "1 h left with the lid closed\n"},
      {R"({"hours_left_closed":1})", "\n"},
      {R"({"battery":{"percent":5},"hours_left_closed":120})",
       "\nBattery 5% \xC2\xB7 \xE2\x89\x88" "99+ h left with the lid closed\n"},
      {R"({"battery":{"percent":5},"hours_left_closed":-1})",
       "\nBattery 5% \xC2\xB7 \xE2\x89\x88\xE2\x80\x93 left with the lid closed\n"},
      {R"({"battery":{"percent":5},"hours_left_closed":0.001})",
       "\nBattery 5% \xC2\xB7 \xE2\x89\x88under 1 min left with the lid closed\n"},
      {R"({"status":"S","warning":"W","battery":{"percent":5,"hours_left_closed":2}})",
       "S\nBattery 5%\nNote: W\n"},
      {R"({"watching":[{"name":"claude","project":"api","working":true,"cpu_percent":12.5,"keeps_awake":true}]})",
       "\n  claude in api: working (12.5% CPU)\n"},
      {R"({"watching":[{"name":"blender","working":false,"keeps_awake":false}]})",
       "\n  blender: idle \xC2\xB7 tracked only\n"},
      {R"({"watching":[{"name":"x","project":"","working":true}, 7]})",
       "\n  x: working (null% CPU)\n  : idle\n"},
      {R"({"holds":[{"id":"7","reason":"Held from the command line"},{"id":8}]})",
       "\n  hold 7: Held from the command line\n  hold : \n"},
      {R"({"status":5,"warning":false,"watching":{},"holds":"x"})", "\n"},
  });
}

TEST(Renderers, HoldAndRelease) {
  check(render_hold, {
      {R"({"hold":{"id":"3"},"status":"S"})", "Holding (id 3). S\n"},
      {R"({"status":"S"})", "Holding (id ?). S\n"},
      {R"({"hold":{"id":3}})", "Holding (id ?). \n"},
  });
  check(render_release, {
      {R"({"released":2,"status":"S"})", "Released 2. S\n"},
      {R"({"released":"7","status":"S"})", "Released \"7\". S\n"},
      {R"({})", "Released null. \n"},
      {R"({"released":[1,true]})", "Released [1,true]. \n"},
  });
}

TEST(Renderers, SettingsList) {
  const std::string tail =
      "\nChange with: vesk set <key> <value>. Per-app rules: vesk rule <app> leave|slow|pause. "
      "File: ";
  check(render_settings, {
      {R"({"settings":[{"key":"mode","value":"auto","allowed":["auto","always","off"],"description":"D","note":"N"}],"config_file":"/c"})",
       "mode = \"auto\"   [auto|always|off]\n    D (N)\n" + tail + "/c\n"},
      {R"({"settings":[{"key":"check_in_minutes","value":30,"allowed":[0,15,"30"]}]})",
       "check_in_minutes = 30   [30]\n    \n" + tail + "\n"},
      {R"({"settings":[{"key":"low_power","value":true,"allowed":[],"description":"D","note":7}]})",
       "low_power = true   []\n    D\n" + tail + "\n"},
      {R"({"settings":[{}]})", " = null   []\n    \n" + tail + "\n"},
      {R"({"ok":false,"error":"x"})", tail + "\n"},
  });
}

TEST(Renderers, PowerReport) {
  check(render_power, {
      {R"({"source":"battery"})", "Power: battery.\n"},
      {R"({})", "Power: unknown.\n"},
      {R"({"system_watts":7.0,"source":"battery"})", "Using 7 W now (battery).\n"},
      {R"({"system_watts":12.25})", "Using 12.25 W now ().\n"},
      {R"({"system_watts":"12","suspects":[{"active":true,"title":"T","setting":"low_power","suggested_value":"on"},{"active":false,"title":"U"},{"title":"V","active":"yes"}]})",
       "Power: unknown.\n\xE2\x80\xA2 T\n    fix: vesk set low_power on\n\xE2\x9C\x93 U\n\xE2\x9C\x93 V\n"},
  });
}

TEST(Renderers, EnergyTableAndConfig) {
  check(render_energy, {
      {R"({"apps":[{"cpu_percent":12.34,"name":"chrome","while_closed":"paused"}]})",
       "  12.3%  chrome                   lid closed: paused\n"},
      {R"({"apps":[{"cpu_percent":"9","name":"a-name-longer-than-twenty-four","while_closed":"slowed"}]})",
       "   0.0%  a-name-longer-than-twenty-four lid closed: slowed\n"},
      {R"({"apps":[{"cpu_percent":100,"name":"caf\u00e9\u2026"}]})",
       " 100.0%  caf\xC3\xA9\xE2\x80\xA6                    lid closed: \n"},
      {R"({"apps":"none"})", ""},
  });
  check(render_config, {{R"({"path":"C:\\x\\settings.json"})", "C:\\x\\settings.json\n"},
                        {R"({"path":1})", "\n"}});
}

}  // namespace
}  // namespace vesk::cli
