#include "restore/journal.h"

#include <gtest/gtest.h>

#include "harness.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::restore {
namespace {

Restore full_restore() {
  Restore r;
  r.lid_more = {{"{aaaa}", 1, 2}, {"bbbb", 3, 0}};
  r.power_profile = "balanced";
  r.power_overlay = "00000000-0000-0000-0000-000000000000";
  r.lid_action = LidAction{1, 0};
  r.lid_scheme = "381b4222-f694-41f0-9685-ff5bb260df2e";
  r.sleep_idle = SleepIdle{"plan", {900, 600, 120, 60}};
  r.boost_dc = BoostDc{"plan", 2};
  r.linux_tuned = true;
  return r;
}

// ---- restore.json -------------------------------------------------------------

TEST(RestoreJournal, EmptyObjectIsTheEmptyRecord) {
  auto r = parse_restore("{}");
  ASSERT_TRUE(r);
  EXPECT_TRUE(is_empty(*r));
  EXPECT_TRUE(is_empty(*parse_restore(" \n{\"lid_more\": [], \"lid_action\": null} \r\n")));
}

TEST(RestoreJournal, ReadsEveryMember) {
  const char* text = R"({
    "lid_more": [["{aaaa}", 1, 2], ["bbbb", 3, 0]],
    "power_profile": "balanced",
    "power_overlay": "00000000-0000-0000-0000-000000000000",
    "lid_action": [1, 0],
    "lid_scheme": "381b4222-f694-41f0-9685-ff5bb260df2e",
    "sleep_idle": ["plan", [900, 600, 120, 60]],
    "boost_dc": ["plan", 2],
    "linux_tuned": true,
    "something_newer": {"a": [1, 2, {"b": null}]}
  })";
  auto r = parse_restore(text);
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, full_restore());
}

TEST(RestoreJournal, ArrayFormOfTheEightValues) {
  auto r = parse_restore(
      R"([[["{aaaa}",1,2],["bbbb",3,0]],"balanced","00000000-0000-0000-0000-000000000000",)"
      R"([1,0],"381b4222-f694-41f0-9685-ff5bb260df2e",["plan",[900,600,120,60]],["plan",2],true])");
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, full_restore());
  EXPECT_TRUE(is_empty(*parse_restore("[[],null,null,null,null,null,null,false]")));
  EXPECT_FALSE(parse_restore("[[],null,null,null,null,null,null]"));
  EXPECT_FALSE(parse_restore("[[],null,null,null,null,null,null,false,false]"));
  EXPECT_FALSE(parse_restore("[]"));
}

TEST(RestoreJournal, RefusesWhatBreaksTheRules) {
  const char* rows[] = {
      "",
      "   ",
      "null",
      "\"text\"",
      "42",
      "{",
      "{} {}",
      "{}x",
      "\xEF\xBB\xBF{}",                         // byte-order mark
      "{\"power_profile\": \"\xFF\"}",          // not UTF-8
      "{\"lid_more\": null}",                   // not optional
      "{\"lid_more\": {}}",
      "{\"lid_more\": [[\"p\", 1]]}",           // two of three
      "{\"lid_more\": [[\"p\", 1, 2, 3]]}",
      "{\"lid_more\": [[1, 1, 2]]}",
      "{\"lid_more\": [[\"p\", -1, 2]]}",
      "{\"lid_more\": [[\"p\", 1.5, 2]]}",
      "{\"lid_more\": [[\"p\", 1.0, 2]]}",      // a float, however whole
      "{\"lid_more\": [[\"p\", 1e2, 2]]}",
      "{\"lid_more\": [[\"p\", 4294967296, 2]]}",
      "{\"lid_more\": [[\"p\", 18446744073709551616, 2]]}",
      "{\"lid_more\": [null]}",
      "{\"lid_action\": [1]}",
      "{\"lid_action\": [1, 2, 3]}",
      "{\"lid_action\": {\"ac\": 1, \"dc\": 2}}",
      "{\"lid_action\": [1, \"2\"]}",
      "{\"sleep_idle\": [\"p\", [1, 2, 3]]}",
      "{\"sleep_idle\": [\"p\", [1, 2, 3, 4, 5]]}",
      "{\"sleep_idle\": [\"p\", [1, 2, 3, 4], 5]}",
      "{\"sleep_idle\": [\"p\", 1, 2, 3, 4]}",
      "{\"boost_dc\": [\"p\"]}",
      "{\"boost_dc\": [\"p\", -2]}",
      "{\"boost_dc\": \"p\"}",
      "{\"power_profile\": 5}",
      "{\"power_overlay\": []}",
      "{\"lid_scheme\": false}",
      "{\"linux_tuned\": \"yes\"}",
      "{\"linux_tuned\": null}",
      "{\"linux_tuned\": 1}",
      "{\"linux_tuned\": true, \"linux_tuned\": false}",            // duplicate field
      "{\"power_profile\": null, \"power_profile\": null}",
      "{\"other\": 1, \"other\": 2}",                              // even an unknown one
      "{\"other\": {\"a\": 1, \"a\": 1}}",                         // at any depth
  };
  for (const char* text : rows) EXPECT_FALSE(parse_restore(text)) << text;
}

TEST(RestoreJournal, RefusesDeepNestingBeforeParsing) {
  std::string deep = "{\"other\": " + std::string(200, '[') + std::string(200, ']') + "}";
  EXPECT_FALSE(parse_restore(deep));
  std::string hostile(1000000, '[');
  EXPECT_FALSE(parse_restore(hostile));
  std::string fine = "{\"other\": " + std::string(30, '[') + std::string(30, ']') + "}";
  EXPECT_TRUE(parse_restore(fine));
  // Brackets inside strings do not count.
  EXPECT_TRUE(parse_restore("{\"power_profile\": \"" + std::string(500, '[') + "\"}"));
}

TEST(RestoreJournal, EmptyMeansEqualToTheEmptyRecord) {
  EXPECT_TRUE(is_empty(Restore{}));
  Restore r;
  r.power_profile = "x";
  EXPECT_FALSE(is_empty(r));
  r = Restore{};
  r.linux_tuned = true;
  EXPECT_FALSE(is_empty(r));
  r = Restore{};
  r.lid_more.push_back({"p", 0, 0});
  EXPECT_FALSE(is_empty(r));
  r = Restore{};
  r.power_profile = "";  // present, although empty text
  EXPECT_FALSE(is_empty(r));
}

TEST(RestoreJournal, WritesEveryMemberInOrder) {
  EXPECT_EQ(restore_text(Restore{}),
            "{\n"
            "  \"lid_more\": [],\n"
            "  \"power_profile\": null,\n"
            "  \"power_overlay\": null,\n"
            "  \"lid_action\": null,\n"
            "  \"lid_scheme\": null,\n"
            "  \"sleep_idle\": null,\n"
            "  \"boost_dc\": null,\n"
            "  \"linux_tuned\": false\n"
            "}");
  Restore r;
  r.lid_more = {{"p\"q", 1, 2}};
  r.lid_action = LidAction{3, 4294967295u};
  r.sleep_idle = SleepIdle{"s", {1, 0, 0, 2}};
  r.boost_dc = BoostDc{"b", 0};
  r.power_profile = "caf\xC3\xA9";
  EXPECT_EQ(restore_text(r),
            "{\n"
            "  \"lid_more\": [\n"
            "    [\n"
            "      \"p\\\"q\",\n"
            "      1,\n"
            "      2\n"
            "    ]\n"
            "  ],\n"
            "  \"power_profile\": \"caf\xC3\xA9\",\n"
            "  \"power_overlay\": null,\n"
            "  \"lid_action\": [\n"
            "    3,\n"
            "    4294967295\n"
            "  ],\n"
            "  \"lid_scheme\": null,\n"
            "  \"sleep_idle\": [\n"
            "    \"s\",\n"
            "    [\n"
            "      1,\n"
            "      0,\n"
            "      0,\n"
            "      2\n"
            "    ]\n"
            "  ],\n"
            "  \"boost_dc\": [\n"
            "    \"b\",\n"
            "    0\n"
            "  ],\n"
            "  \"linux_tuned\": false\n"
            "}");
  EXPECT_EQ(parse_restore(restore_text(r)), r);
  EXPECT_EQ(parse_restore(restore_text(full_restore())), full_restore());
}

TEST(RestoreJournal, UnknownKeysAreGoneOnceWrittenBack) {
  testing::TempDir dir;
  ASSERT_TRUE(platform::write_file(platform::join_path(dir.path(), kRestoreFile),
                                   R"({"power_profile": "x", "later": [1, 2]})"));
  auto r = read_restore(dir.path());
  ASSERT_TRUE(r);
  EXPECT_EQ(r->power_profile, "x");
  ASSERT_TRUE(write_restore(dir.path(), *r));
  auto text = platform::read_file(platform::join_path(dir.path(), kRestoreFile));
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, restore_text(*r));
  EXPECT_EQ(text->find("later"), std::string::npos);
}

TEST(RestoreJournal, MissingUnreadableAndRemoved) {
  testing::TempDir dir;
  EXPECT_FALSE(read_restore(dir.path()));
  EXPECT_FALSE(load_restore(dir.path()).present);
  EXPECT_TRUE(remove_restore(dir.path()));  // nothing there is fine

  std::string path = platform::join_path(dir.path(), kRestoreFile);
  ASSERT_TRUE(platform::write_file(path, "{\"lid_more\": null}"));
  auto state = load_restore(dir.path());
  EXPECT_TRUE(state.present);
  EXPECT_TRUE(state.unreadable());
  EXPECT_FALSE(read_restore(dir.path()));

  EXPECT_TRUE(remove_restore(dir.path()));
  EXPECT_FALSE(platform::file_exists(path));
}

// ---- touched.json ---------------------------------------------------------------

TEST(TouchedJournal, ReadsEntriesInOrder) {
  auto t = parse_touched(R"([
    {"pid": 4242, "exe": "blender", "start": 133500000000000000, "paused": true,
     "previous": 32, "unit": "render"},
    {"pid": 17, "exe": "code", "start": 18446744073709551615, "paused": false,
     "previous": -3, "extra": [1]},
    [9, "node", 5, false, 16384, null]
  ])");
  ASSERT_TRUE(t);
  ASSERT_EQ(t->size(), 3u);
  EXPECT_EQ((*t)[0], (Touched{4242, "blender", 133500000000000000ULL, true, 32, "render"}));
  EXPECT_EQ((*t)[1], (Touched{17, "code", 18446744073709551615ULL, false, -3, std::nullopt}));
  EXPECT_EQ((*t)[2], (Touched{9, "node", 5, false, 16384, std::nullopt}));
  auto empty = parse_touched(" [ ] ");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
}

TEST(TouchedJournal, OneBadEntrySpoilsTheFile) {
  const std::string good = R"({"pid": 1, "exe": "a", "start": 2, "paused": true, "previous": 32})";
  ASSERT_TRUE(parse_touched("[" + good + "]"));
  const char* bad[] = {
      R"({"exe": "a", "start": 2, "paused": true, "previous": 32})",
      R"({"pid": 1, "start": 2, "paused": true, "previous": 32})",
      R"({"pid": 1, "exe": "a", "paused": true, "previous": 32})",
      R"({"pid": 1, "exe": "a", "start": 2, "previous": 32})",
      R"({"pid": 1, "exe": "a", "start": 2, "paused": true})",       // even when paused
      R"({"pid": 4294967296, "exe": "a", "start": 2, "paused": true, "previous": 32})",
      R"({"pid": -1, "exe": "a", "start": 2, "paused": true, "previous": 32})",
      R"({"pid": 1, "exe": "a", "start": -2, "paused": true, "previous": 32})",
      R"({"pid": 1, "exe": "a", "start": 2.5, "paused": true, "previous": 32})",
      R"({"pid": 1, "exe": "a", "start": 2, "paused": true, "previous": 9223372036854775808})",
      R"({"pid": 1, "exe": "a", "start": 2, "paused": true, "previous": 32.0})",
      R"({"pid": 1, "exe": 5, "start": 2, "paused": true, "previous": 32})",
      R"({"pid": 1, "exe": null, "start": 2, "paused": true, "previous": 32})",
      R"({"pid": 1, "exe": "a", "start": 2, "paused": 1, "previous": 32})",
      R"({"pid": 1, "exe": "a", "start": 2, "paused": true, "previous": 32, "unit": 3})",
      R"({"pid": 1, "pid": 1, "exe": "a", "start": 2, "paused": true, "previous": 32})",
      R"([1, "a", 2, true, 32])",
      R"([1, "a", 2, true, 32, null, null])",
      R"(null)",
      R"("a")",
  };
  for (const char* entry : bad) {
    EXPECT_FALSE(parse_touched("[" + good + "," + entry + "]")) << entry;
  }
  EXPECT_FALSE(parse_touched(good));  // not an array
  EXPECT_FALSE(parse_touched("[" + good + "] ["));
  EXPECT_FALSE(parse_touched("{}"));
}

TEST(TouchedJournal, WritesSixKeysInOrder) {
  std::vector<Touched> entries = {{4242, "blender", 133500000000000000ULL, true, 32, std::nullopt},
                                  {9, "n\xC3\xB6" "de", 5, false, -7, "u"}};
  EXPECT_EQ(touched_text(entries),
            "[\n"
            "  {\n"
            "    \"pid\": 4242,\n"
            "    \"exe\": \"blender\",\n"
            "    \"start\": 133500000000000000,\n"
            "    \"paused\": true,\n"
            "    \"previous\": 32,\n"
            "    \"unit\": null\n"
            "  },\n"
            "  {\n"
            "    \"pid\": 9,\n"
            "    \"exe\": \"n\xC3\xB6" "de\",\n"
            "    \"start\": 5,\n"
            "    \"paused\": false,\n"
            "    \"previous\": -7,\n"
            "    \"unit\": \"u\"\n"
            "  }\n"
            "]");
  EXPECT_EQ(touched_text({}), "[]");
  EXPECT_EQ(parse_touched(touched_text(entries)), entries);
}

TEST(TouchedJournal, MissingUnitIsWrittenBackAsNull) {
  testing::TempDir dir;
  std::string path = platform::join_path(dir.path(), kTouchedFile);
  ASSERT_TRUE(platform::write_file(
      path, R"([{"pid": 5, "exe": "a", "start": 6, "paused": false, "previous": -1}])"));
  auto t = read_touched(dir.path());
  ASSERT_TRUE(t);
  ASSERT_EQ(t->size(), 1u);
  EXPECT_FALSE((*t)[0].unit);
  ASSERT_TRUE(write_touched(dir.path(), *t));
  auto text = platform::read_file(path);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("\"unit\": null"), std::string::npos);
  EXPECT_NE(text->find("\"previous\": -1"), std::string::npos);
  EXPECT_TRUE(remove_touched(dir.path()));
  EXPECT_FALSE(read_touched(dir.path()));
}

// ---- Durability ----------------------------------------------------------------------

TEST(JournalDurability, WriterStoppedBeforeTheRenameLeavesTheOldJournal) {
  testing::TempDir dir;
  Restore old;
  old.lid_action = LidAction{1, 1};
  ASSERT_TRUE(write_restore(dir.path(), old));
  // What a writer that dies between the temporary write and the rename
  // leaves behind: a temporary sibling, complete or cut short.
  std::string path = platform::join_path(dir.path(), kRestoreFile);
  std::string text = restore_text(Restore{});
  std::string temp = platform::temp_sibling(path, "tmp", platform::current_pid());
  ASSERT_TRUE(platform::write_file(temp, text.substr(0, text.size() / 2)));
  EXPECT_EQ(read_restore(dir.path()), old);
  // The next write goes through, and the leftover goes.
  ASSERT_TRUE(write_restore(dir.path(), Restore{}));
  EXPECT_EQ(read_restore(dir.path()), Restore{});
  EXPECT_FALSE(platform::file_exists(temp));
}

TEST(JournalDurability, FailedWriteLeavesTheOldJournal) {
  testing::TempDir dir;
  std::vector<Touched> old = {{1234, "app", 99, true, 32, std::nullopt}};
  ASSERT_TRUE(write_touched(dir.path(), old));
  std::string path = platform::join_path(dir.path(), kTouchedFile);
  // The temporary sibling cannot be made: a folder is in its place.
  ASSERT_TRUE(platform::create_dirs(platform::temp_sibling(path, "tmp", platform::current_pid())));
  EXPECT_FALSE(write_touched(dir.path(), {}));
  EXPECT_EQ(read_touched(dir.path()), old);
}

}  // namespace
}  // namespace vesk::restore
