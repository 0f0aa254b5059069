#include "restore/put_back.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <thread>

#include "base/json.h"
#include "harness.h"
#include "platform/fs.h"
#include "restore/rescue.h"
#include "restore/summary.h"
#include "restore/test_fakes.h"

namespace vesk::restore {
namespace {

using platform::PowerSource;
using testing::FakePower;
using testing::FakeProcess;
using testing::FakeProcesses;
using testing::plan;
using testing::plan_text;

constexpr uint64_t kStart = 133500000000000000ULL;

// ---- Names --------------------------------------------------------------------------

TEST(NormalImageName, FileNameLowerCaseWithoutExe) {
  const std::pair<const char*, const char*> rows[] = {
      {"C:\\Program Files\\App\\App.EXE", "app"},
      {"C:/tools/node.exe", "node"},
      {"\\\\?\\D:\\x\\Blender.Exe", "blender"},
      {"/usr/bin/sleep", "sleep"},
      {"plain", "plain"},
      {"C:\\dir\\", ""},
      {"C:\\a\\archive.exe.exe", "archive.exe"},
      {"C:\\a\\setup.exe.bak", "setup.exe.bak"},
      {"C:\\a\\.exe", ""},
      {"C:\\\xC3\x84pfel\\\xC3\x84PFEL.EXE", "\xC3\xA4pfel"},       // Äpfel
      {"C:\\x\\\xC4\xB0ZMIR.exe", "i\xCC\x87zmir"},                 // İ: two code points
      {"C:\\x\\\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3", "\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82"},  // ΟΔΟΣ: final sigma
      {"C:\\x\\\xCE\xA3\xCE\x91.EXE", "\xCF\x83\xCE\xB1"},         // ΣΑ: medial
      {"C:\\x\\\xCE\x9F\xCE\xA3.EXE", "\xCE\xBF\xCF\x83"},         // ΟΣ before ".EXE"
      {"C:\\x\\\xE2\x84\xAA.exe", "k"},                             // Kelvin sign
      {"/x/\xFF\x41.exe", "\xFF" "a"},                              // not UTF-8: kept
  };
  for (const auto& [path, name] : rows) EXPECT_EQ(normal_image_name(path), name) << path;
}

// ---- Processes -------------------------------------------------------------------------

struct ProcessRow {
  const char* what;
  Touched entry;
  std::optional<FakeProcess> process;  // at entry.pid
  bool kept;
  std::vector<std::string> calls;
};

Touched paused(uint32_t pid, const char* exe = "app") {
  return Touched{pid, exe, kStart, true, 32, std::nullopt};
}
Touched slowed(uint32_t pid, int64_t previous, const char* exe = "app") {
  return Touched{pid, exe, kStart, false, previous, "unit"};
}
FakeProcess running(const char* path = "C:\\Apps\\App.EXE") {
  FakeProcess p;
  p.start = kStart;
  p.path = path;
  return p;
}
FakeProcess with(FakeProcess p, void (*change)(FakeProcess&)) {
  change(p);
  return p;
}

TEST(PutBackProcesses, EachEdgeCase) {
  const ProcessRow rows[] = {
      {"ended", paused(100), std::nullopt, false, {}},
      {"id taken by another process", paused(100),
       with(running(), [](FakeProcess& p) { p.start = kStart + 1; }), false, {}},
      {"another program", paused(100), running("C:\\x\\other.exe"), false, {}},
      {"name in any case and folder", paused(100), running("D:\\deep\\er\\APP.exe"), false,
       {"resume 100"}},
      {"name cannot be read", paused(100),
       with(running(), [](FakeProcess& p) { p.path.reset(); }), false, {"resume 100"}},
      {"exe not in normal form", paused(100, "App.exe"), running(), false, {}},
      {"pid 4 is never resumed", paused(4), running(), true, {}},
      {"pid 0 is never resumed", paused(0), running(), true, {}},
      {"own pid is never resumed", paused(777), running(), true, {}},
      {"pid 5 is", paused(5), running(), false, {"resume 5"}},
      {"resume fails, still running", paused(100),
       with(running(), [](FakeProcess& p) { p.resume_fails = true; }), true, {"resume 100"}},
      {"resume fails, gone since", paused(100), with(running(), [](FakeProcess& p) {
         p.resume_fails = true;
         p.ends_when_touched = true;
       }),
       false, {"resume 100"}},
      {"slowed: previous class back", slowed(100, 16384), running(), false,
       {"priority 100 16384"}},
      {"slowed: previous 0", slowed(100, 0), running(), false, {"priority 100 32"}},
      {"slowed: previous negative", slowed(100, -64), running(), false, {"priority 100 32"}},
      {"slowed: previous above 32 bits", slowed(100, 4294967296LL), running(), false,
       {"priority 100 32"}},
      {"slowed: previous at 32 bits", slowed(100, 4294967295LL), running(), false,
       {"priority 100 4294967295"}},
      {"slowed: pid 4 is tried", slowed(4, 64), running(), false, {"priority 4 64"}},
      {"slowed: access denied, still running", slowed(100, 64),
       with(running(), [](FakeProcess& p) { p.priority_fails = true; }), true,
       {"priority 100 64"}},
      {"slowed: fails, gone since", slowed(100, 64), with(running(), [](FakeProcess& p) {
         p.priority_fails = true;
         p.ends_when_touched = true;
       }),
       false, {"priority 100 64"}},
  };
  for (const ProcessRow& row : rows) {
    FakeProcesses processes;
    if (row.process) processes.processes[row.entry.pid] = *row.process;
    auto kept = put_back_processes({row.entry}, processes);
    EXPECT_EQ(kept.size(), row.kept ? 1u : 0u) << row.what;
    if (row.kept && !kept.empty()) {
      EXPECT_EQ(kept[0], row.entry) << row.what;
    }
    EXPECT_EQ(processes.calls, row.calls) << row.what;
  }
}

TEST(PutBackProcesses, KeptEntriesKeepTheirOrder) {
  FakeProcesses processes;
  processes.processes[10] = with(running(), [](FakeProcess& p) { p.resume_fails = true; });
  processes.processes[11] = running();
  processes.processes[12] = with(running(), [](FakeProcess& p) { p.priority_fails = true; });
  std::vector<Touched> entries = {paused(12), paused(10), slowed(11, 64), slowed(12, 64),
                                  paused(13)};
  entries[0].exe = "app";
  auto kept = put_back_processes(entries, processes);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0], entries[1]);
  EXPECT_EQ(kept[1], entries[3]);
  EXPECT_FALSE(processes.processes[12].suspended);
  EXPECT_EQ(processes.processes[11].priority, 64u);
}

// ---- Power settings ---------------------------------------------------------------------

struct PowerRow {
  const char* what;
  std::function<void(FakePower&)> setup;
  std::function<void(Restore&)> record;
  std::function<void(Restore&)> expected;  // applied to the same starting record
  size_t writes;
};

void set_idle(Restore& r) { r.sleep_idle = SleepIdle{plan_text(1), {900, 600, 120, 60}}; }
void set_boost(Restore& r) { r.boost_dc = BoostDc{plan_text(1), 2}; }
void set_lid(Restore& r) {
  r.lid_action = LidAction{1, 2};
  r.lid_scheme = plan_text(1);
}
void set_more(Restore& r) { r.lid_more = {{plan_text(2), 3, 4}, {plan_text(3), 5, 6}}; }
void keep_profile(Restore& r) { r.power_profile = "balanced"; }
bool write_to(const testing::PowerCall& c, int n) { return c.op == "write" && c.plan == plan(n); }

TEST(PutBackPower, EachEdgeCase) {
  auto nothing = [](FakePower&) {};
  auto cleared = [](Restore& r) { r = Restore{}; };
  auto same = [](Restore&) {};
  const PowerRow rows[] = {
      // sleep_idle
      {"idle: all zero, written", [](FakePower& p) { p.set_sleep(plan(1), {0, 0, 0, 0}); },
       [](Restore& r) { set_idle(r); keep_profile(r); }, cleared, 4},
      {"idle: changed since", [](FakePower& p) { p.set_sleep(plan(1), {0, 0, 5, 0}); },
       [](Restore& r) { set_idle(r); keep_profile(r); }, cleared, 0},
      {"idle: a read fails, written anyway", nothing,
       [](Restore& r) { set_idle(r); keep_profile(r); }, cleared, 4},
      {"idle: a write fails, kept",
       [](FakePower& p) { p.fails = [](const testing::PowerCall& c) { return c.op == "write"; }; },
       [](Restore& r) { set_idle(r); keep_profile(r); }, same, 4},
      {"idle: plan text unreadable", nothing,
       [](Restore& r) { set_idle(r); r.sleep_idle->plan = "nope"; r.boost_dc = BoostDc{"x", 1}; },
       cleared, 0},
      // lid_more and lid_action
      {"lid: recorded plan, zero, written",
       [](FakePower& p) { p.set_lid(plan(1), 0, 0); p.active = plan(9); }, set_lid, cleared, 2},
      {"lid: changed since", [](FakePower& p) { p.set_lid(plan(1), 0, 1); }, set_lid, cleared, 0},
      {"lid: no lid_scheme, the active plan",
       [](FakePower& p) { p.active = plan(7); p.set_lid(plan(7), 0, 0); },
       [](Restore& r) { set_lid(r); r.lid_scheme.reset(); }, cleared, 2},
      {"lid: unreadable lid_scheme, the active plan", [](FakePower& p) { p.active = plan(7); },
       [](Restore& r) { set_lid(r); r.lid_scheme = "{bad}"; }, cleared, 2},
      {"lid: no plan at all, both stay", nothing,
       [](Restore& r) { set_lid(r); r.lid_scheme.reset(); }, same, 0},
      {"lid: write fails, both stay",
       [](FakePower& p) { p.fails = [](const testing::PowerCall& c) { return c.op == "write"; }; },
       set_lid, same, 2},
      {"lid_more: each put back",
       [](FakePower& p) { p.set_lid(plan(2), 0, 0); p.set_lid(plan(3), 0, 0); },
       [](Restore& r) { set_more(r); set_lid(r); }, cleared, 6},
      {"lid_more: changed since, dropped unwritten", [](FakePower& p) { p.set_lid(plan(2), 1, 0); },
       [](Restore& r) { r.lid_more = {{plan_text(2), 3, 4}}; }, cleared, 0},
      {"lid_more: bad plan text dropped", nothing,
       [](Restore& r) { r.lid_more = {{"x", 3, 4}}; }, cleared, 0},
      {"lid_more: a write fails, lid_action waits",
       [](FakePower& p) { p.fails = [](const testing::PowerCall& c) { return write_to(c, 2); }; },
       [](Restore& r) { set_more(r); set_lid(r); },
       [](Restore& r) { r.lid_more.erase(r.lid_more.begin() + 1); }, 4},
      // boost_dc
      {"boost: zero, written", [](FakePower& p) { p.set(plan(1), kPerfBoostMode, PowerSource::dc, 0); },
       set_boost, cleared, 1},
      {"boost: changed since", [](FakePower& p) { p.set(plan(1), kPerfBoostMode, PowerSource::dc, 3); },
       set_boost, cleared, 0},
      {"boost: read fails, written", nothing, set_boost, cleared, 1},
      {"boost: write fails, kept",
       [](FakePower& p) { p.fails = [](const testing::PowerCall& c) { return c.op == "write"; }; },
       set_boost, same, 1},
      // power_overlay
      {"overlay: Vesk's, set back", nothing, [](Restore& r) { r.power_overlay = plan_text(4); },
       cleared, 0},
      {"overlay: unavailable, kept", [](FakePower& p) { p.overlay_available = false; },
       [](Restore& r) { r.power_overlay = plan_text(4); }, same, 0},
      {"overlay: cannot be read, kept",
       [](FakePower& p) { p.fails = [](const testing::PowerCall& c) { return c.op == "get_overlay"; }; },
       [](Restore& r) { r.power_overlay = plan_text(4); }, same, 0},
      {"overlay: set fails, kept",
       [](FakePower& p) { p.fails = [](const testing::PowerCall& c) { return c.op == "set_overlay"; }; },
       [](Restore& r) { r.power_overlay = plan_text(4); }, same, 0},
      {"overlay: another in force", [](FakePower& p) { p.overlay = plan(5); },
       [](Restore& r) { r.power_overlay = plan_text(4); }, cleared, 0},
      {"overlay: stored text unreadable", nothing, [](Restore& r) { r.power_overlay = "?"; },
       cleared, 0},
      // what nothing acts on
      {"only power_profile", nothing, keep_profile, cleared, 0},
      {"only linux_tuned", nothing, [](Restore& r) { r.linux_tuned = true; }, cleared, 0},
      {"only lid_scheme", nothing, [](Restore& r) { r.lid_scheme = plan_text(1); }, cleared, 0},
  };
  for (const PowerRow& row : rows) {
    FakePower power;
    row.setup(power);
    Restore record, expected;
    row.record(record);
    row.record(expected);
    row.expected(expected);
    put_back_power(record, power);
    EXPECT_EQ(record, expected) << row.what;
    EXPECT_EQ(power.writes().size(), row.writes) << row.what;
  }
}

TEST(PutBackPower, WritesTheStoredValues) {
  FakePower power;
  power.active = plan(7);
  power.set_sleep(plan(1), {0, 0, 0, 0});
  power.set_lid(plan(7), 0, 0);
  Restore r;
  set_idle(r);
  r.lid_action = LidAction{1, 2};
  put_back_power(r, power);
  EXPECT_EQ(power.get(plan(1), kStandbyTimeout, PowerSource::ac), 900u);
  EXPECT_EQ(power.get(plan(1), kStandbyTimeout, PowerSource::dc), 600u);
  EXPECT_EQ(power.get(plan(1), kUnattendSleepTimeout, PowerSource::ac), 120u);
  EXPECT_EQ(power.get(plan(1), kUnattendSleepTimeout, PowerSource::dc), 60u);
  EXPECT_EQ(power.get(plan(7), kLidCloseAction, PowerSource::ac), 1u);
  EXPECT_EQ(power.get(plan(7), kLidCloseAction, PowerSource::dc), 2u);
  // Written into the active plan: applied at once.
  EXPECT_EQ(power.count("set_active"), 1u);
  EXPECT_TRUE(is_empty(r));
}

TEST(PutBackPower, OverlaySetBackIsTheStoredOne) {
  FakePower power;
  Restore r;
  r.power_overlay = "{" + plan_text(4) + "}";
  put_back_power(r, power);
  EXPECT_EQ(power.overlay, plan(4));
  EXPECT_EQ(power.count("set_overlay"), 1u);
}

// ---- The run on files ------------------------------------------------------------------

class PutBackRun : public ::testing::Test {
 protected:
  std::string path(const char* name) const { return platform::join_path(dir.path(), name); }
  bool exists(const char* name) const { return platform::file_exists(path(name)); }
  std::string text(const char* name) const { return platform::read_file(path(name)).value_or("?"); }
  void put(const char* name, const std::string& content) const {
    ASSERT_TRUE(platform::write_file(path(name), content));
  }
  PutBackResult run() { return put_back(dir.path(), power, processes).result; }

  vesk::testing::TempDir dir;
  FakePower power;
  FakeProcesses processes;
};

TEST_F(PutBackRun, NothingToDo) {
  EXPECT_EQ(run(), PutBackResult::kRestored);
  EXPECT_FALSE(exists(kTouchedFile));
  EXPECT_FALSE(exists(kRestoreFile));
}

TEST_F(PutBackRun, EmptyJournalsAreRemoved) {
  put(kTouchedFile, "[]");
  put(kRestoreFile, "{}");
  EXPECT_EQ(run(), PutBackResult::kRestored);
  EXPECT_FALSE(exists(kTouchedFile));
  EXPECT_FALSE(exists(kRestoreFile));
}

TEST_F(PutBackRun, OnlyEndedProcessesRemovesTheJournal) {
  put(kTouchedFile, touched_text({paused(100), slowed(101, 64)}));
  EXPECT_EQ(run(), PutBackResult::kRestored);
  EXPECT_FALSE(exists(kTouchedFile));
  EXPECT_TRUE(processes.calls.empty());
}

TEST_F(PutBackRun, KeptEntriesAreWrittenBackUnchanged) {
  processes.processes[4] = running();
  processes.processes[100] = running();
  Touched unit_entry = paused(4);
  unit_entry.unit = "u";
  put(kTouchedFile, touched_text({paused(100), unit_entry, paused(200)}));
  put("hold", "1");
  EXPECT_EQ(run(), PutBackResult::kPartlyRestored);
  EXPECT_EQ(text(kTouchedFile), touched_text({unit_entry}));
  EXPECT_FALSE(exists("hold"));  // also when partly restored
}

TEST_F(PutBackRun, OnlyPowerProfile) {
  put(kRestoreFile, R"({"power_profile": "balanced"})");
  EXPECT_EQ(run(), PutBackResult::kRestored);
  EXPECT_FALSE(exists(kRestoreFile));
  // The same with a process entry kept: the journal still goes.
  put(kRestoreFile, R"({"power_profile": "balanced"})");
  processes.processes[4] = running();
  put(kTouchedFile, touched_text({paused(4)}));
  EXPECT_EQ(run(), PutBackResult::kPartlyRestored);
  EXPECT_FALSE(exists(kRestoreFile));
  EXPECT_TRUE(exists(kTouchedFile));
}

TEST_F(PutBackRun, WhatIsLeftIsWrittenBack) {
  power.fails = [](const testing::PowerCall& c) { return write_to(c, 2); };
  power.set_lid(plan(1), 0, 0);
  Restore r;
  set_more(r);
  set_lid(r);
  keep_profile(r);
  r.linux_tuned = true;
  put(kRestoreFile, restore_text(r));
  EXPECT_EQ(run(), PutBackResult::kPartlyRestored);
  Restore left = r;
  left.lid_more.erase(left.lid_more.begin() + 1);
  EXPECT_EQ(text(kRestoreFile), restore_text(left));
}

TEST_F(PutBackRun, HoldFileGoes) {
  put("hold", "");
  EXPECT_EQ(run(), PutBackResult::kRestored);
  EXPECT_FALSE(exists("hold"));
}

// Journals that break the reading rules: garbage, a member of the wrong
// type, a key given twice, a truncated file.
const char* const kBadTouched[] = {
    "\x01garbage\xFF",
    R"([{"pid": "100", "exe": "app", "start": 1, "paused": true, "previous": 32}])",
    R"([{"pid": 100, "pid": 100, "exe": "app", "start": 1, "paused": true, "previous": 32}])",
    R"([{"pid": 100, "exe": "app", "start": 1, "paused": tr)",
};
const char* const kBadRestore[] = {
    "\x01garbage\xFF",
    R"({"lid_action": [1, 2], "lid_more": null})",
    R"({"lid_action": [1, 2], "lid_action": [1, 2]})",
    R"({"lid_action": [1, 2], "lid_scheme": "38)",
};

// A journal that exists but cannot be read may still name a paused app or a
// changed lid action: it is set aside, never deleted, and the run goes on
// as if it were empty. Earlier copies are never replaced.
TEST_F(PutBackRun, UnreadableJournalsAreSetAside) {
  for (size_t i = 0; i < std::size(kBadTouched); ++i) {
    processes.processes[100] = running();
    put(kTouchedFile, kBadTouched[i]);
    put(kRestoreFile, kBadRestore[i]);
    put("hold", "");
    PutBack result = put_back(dir.path(), power, processes);
    EXPECT_EQ(result.result, PutBackResult::kRestored) << i;
    std::string touched_copy = set_aside_name(path(kTouchedFile), static_cast<int>(i) + 1);
    std::string restore_copy = set_aside_name(path(kRestoreFile), static_cast<int>(i) + 1);
    EXPECT_EQ(result.set_aside, (std::vector<std::string>{touched_copy, restore_copy})) << i;
    EXPECT_EQ(platform::read_file(touched_copy).value_or("?"), kBadTouched[i]) << i;
    EXPECT_EQ(platform::read_file(restore_copy).value_or("?"), kBadRestore[i]) << i;
    EXPECT_FALSE(exists(kTouchedFile));
    EXPECT_FALSE(exists(kRestoreFile));
    EXPECT_FALSE(exists("hold"));
    EXPECT_TRUE(processes.calls.empty());
    EXPECT_TRUE(power.calls.empty());
  }
  EXPECT_EQ(set_aside_copies(dir.path()).size(), 2 * std::size(kBadTouched));
}

TEST_F(PutBackRun, BlankJournalsAreRemoved) {
  for (const char* blank : {"", " \r\n\t "}) {
    put(kTouchedFile, blank);
    put(kRestoreFile, blank);
    PutBack result = put_back(dir.path(), power, processes);
    EXPECT_EQ(result.result, PutBackResult::kRestored);
    EXPECT_TRUE(result.set_aside.empty());
    EXPECT_TRUE(vesk::testing::names_in(dir.path()).empty());
  }
}

// When the journal cannot be moved (here: no free name is left), it stays
// as it is and the run is partial.
TEST_F(PutBackRun, UnreadableJournalThatCannotBeMovedStays) {
  for (int n = 1; n <= kMaxSetAsideCopies; ++n) {
    ASSERT_TRUE(platform::write_file(set_aside_name(path(kRestoreFile), n), "old"));
  }
  put(kRestoreFile, kBadRestore[0]);
  PutBack result = put_back(dir.path(), power, processes);
  EXPECT_EQ(result.result, PutBackResult::kPartlyRestored);
  EXPECT_TRUE(result.set_aside.empty());
  EXPECT_EQ(result.problems, std::vector<std::string>{path(kRestoreFile) +
                                                      " couldn't be set aside: no free name to set " +
                                                      path(kRestoreFile) + " aside"});
  EXPECT_EQ(text(kRestoreFile), kBadRestore[0]);
  EXPECT_EQ(platform::read_file(set_aside_name(path(kRestoreFile), 1)).value_or("?"), "old");
}

// A journal that is there but cannot be opened (here a folder in its place,
// which no account can read as a file) may hold anything: it is neither set
// aside nor taken for gone, and the rescue names it with the system's reason.
TEST_F(PutBackRun, UnopenableJournalStaysAndIsNamed) {
  for (const char* journal : {kRestoreFile, kTouchedFile}) {
    ASSERT_TRUE(platform::create_dirs(path(journal)));
    RescueResult rescued = rescue(dir.path(), [] { return true; }, power, processes);
    EXPECT_FALSE(rescued.all_back);
    EXPECT_TRUE(rescued.set_aside.empty());
    std::string reason = platform::read_file(path(journal)).message();
    EXPECT_EQ(rescued.pending,
              std::vector<std::string>{path(journal) + " couldn't be read: " + reason});
    EXPECT_TRUE(platform::file_exists(path(journal)));
    EXPECT_TRUE(set_aside_copies(dir.path()).empty());
    EXPECT_EQ(journal_summary(dir.path()), rescued.pending);
    platform::remove_tree(path(journal));
  }
}

// Temporaries of journal writers that are gone are deleted; a running
// writer's and other files stay.
TEST_F(PutBackRun, TemporariesOfEndedWritersGo) {
  processes.processes[100] = running();
  for (const char* name : {"restore.tmp100", "restore.tmp200", "touched.tmp300", "touched.tmp",
                           "restore.tmp7x", "alive.tmp400", "touched.tmp99999999999"}) {
    put(name, "{");
  }
  EXPECT_EQ(run(), PutBackResult::kRestored);
  EXPECT_EQ(vesk::testing::names_in(dir.path()),
            (std::vector<std::string>{"alive.tmp400", "restore.tmp100", "restore.tmp7x",
                                      "touched.tmp", "touched.tmp99999999999"}));
}

// ---- Rescue ---------------------------------------------------------------------------------

TEST_F(PutBackRun, RescueGivesNothingWhenAllIsBack) {
  processes.processes[100] = running();
  processes.processes[100].suspended = true;
  put(kTouchedFile, touched_text({paused(100)}));
  bool quit = false;
  auto quit_first = [&] {
    quit = true;
    EXPECT_TRUE(processes.processes[100].suspended);  // before the put-back run
    return true;
  };
  EXPECT_TRUE(rescue(dir.path(), quit_first, power, processes).all_back);
  EXPECT_TRUE(quit);
  EXPECT_FALSE(processes.processes[100].suspended);
}

// A journal set aside is reported, and what it held is unknown: never all
// back. The next run no longer sees it and finds everything back.
TEST_F(PutBackRun, RescueReportsWhatItSetAside) {
  for (size_t i = 0; i < std::size(kBadRestore); ++i) {
    put(kRestoreFile, kBadRestore[i]);
    put(kTouchedFile, kBadTouched[i]);
    RescueResult rescued = rescue(dir.path(), [] { return true; }, power, processes);
    EXPECT_FALSE(rescued.all_back) << i;
    EXPECT_TRUE(rescued.pending.empty()) << i;
    EXPECT_EQ(rescued.set_aside.size(), 2u) << i;
    EXPECT_TRUE(rescue(dir.path(), [] { return true; }, power, processes).all_back) << i;
  }
}

TEST_F(PutBackRun, RescueWithOnlyBoostLeftNamesIt) {
  power.fails = [](const testing::PowerCall& c) { return c.op == "write"; };
  Restore r;
  set_boost(r);
  put(kRestoreFile, restore_text(r));
  RescueResult rescued = rescue(dir.path(), [] { return true; }, power, processes);
  EXPECT_FALSE(rescued.all_back);
  EXPECT_EQ(rescued.pending, summary_lines({}, r));
  EXPECT_EQ(rescued.pending.size(), 1u);
  EXPECT_TRUE(exists(kRestoreFile));
}

TEST_F(PutBackRun, RescueGivesWhatIsLeft) {
  processes.processes[4] = running();
  Touched entry = paused(4);
  put(kTouchedFile, touched_text({entry}));
  Restore r;
  set_lid(r);
  power.fails = [](const testing::PowerCall& c) { return c.op == "write"; };
  put(kRestoreFile, restore_text(r));
  RescueResult rescued = rescue(dir.path(), [] { return true; }, power, processes);
  EXPECT_FALSE(rescued.all_back);
  EXPECT_EQ(rescued.pending,
            (std::vector<std::string>{
                "paused app (pid 4)",
                "lid-close action set to Do nothing (was 1 plugged in, 2 on battery)"}));
}

// ---- Session end ---------------------------------------------------------------------------

TEST(SessionEnd, PutsBackWhatItCanAndWritesTheRest) {
  vesk::testing::TempDir dir;
  FakePower power;
  // lid_more fails in plan 2; unlike a run, the rest goes on.
  power.fails = [](const testing::PowerCall& c) { return write_to(c, 2); };
  power.set_lid(plan(1), 0, 0);
  power.set_sleep(plan(1), {0, 0, 0, 0});
  Restore r;
  set_more(r);
  set_lid(r);
  set_idle(r);
  set_boost(r);
  keep_profile(r);
  r.power_overlay = plan_text(4);
  r.linux_tuned = true;
  ASSERT_TRUE(write_restore(dir.path(), r));
  EXPECT_TRUE(session_end_put_back(dir.path(), power));

  Restore left;
  left.lid_more = {{plan_text(2), 3, 4}};
  keep_profile(left);
  left.power_overlay = plan_text(4);  // not acted on at session end
  left.linux_tuned = true;
  EXPECT_EQ(read_restore(dir.path()), left);
  EXPECT_EQ(power.count("get_overlay") + power.count("set_overlay"), 0u);
}

TEST(SessionEnd, EverythingBackLeavesTheEmptyRecord) {
  vesk::testing::TempDir dir;
  FakePower power;
  Restore r;
  set_boost(r);
  set_lid(r);
  ASSERT_TRUE(write_restore(dir.path(), r));
  EXPECT_TRUE(session_end_put_back(dir.path(), power));
  auto text = platform::read_file(platform::join_path(dir.path(), kRestoreFile));
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, restore_text(Restore{}));
}

TEST(SessionEnd, NoJournalNoWrite) {
  vesk::testing::TempDir dir;
  FakePower power;
  EXPECT_TRUE(session_end_put_back(dir.path(), power));
  EXPECT_TRUE(vesk::testing::names_in(dir.path()).empty());
  EXPECT_TRUE(power.calls.empty());
  // An unreadable one is set aside, a blank one removed.
  std::string path = platform::join_path(dir.path(), kRestoreFile);
  ASSERT_TRUE(platform::write_file(path, "{\"lid_action\": [1]}"));
  EXPECT_TRUE(session_end_put_back(dir.path(), power));
  EXPECT_EQ(platform::read_file(set_aside_name(path, 1)).value_or(""), "{\"lid_action\": [1]}");
  ASSERT_TRUE(platform::write_file(path, "\n"));
  EXPECT_TRUE(session_end_put_back(dir.path(), power));
  EXPECT_EQ(vesk::testing::names_in(dir.path()), std::vector<std::string>{"restore.json.unreadable"});
  EXPECT_TRUE(power.calls.empty());
}

// lid_action without a usable lid_scheme is not dropped unwritten: the lid
// would stay set to do nothing with no record left of what it was.
TEST(SessionEnd, LidActionWithoutSchemeIsNeverForgotten) {
  struct Row {
    const char* what;
    std::optional<std::string> scheme;
    std::optional<Guid> active;
    bool kept;
    size_t writes;
  };
  const Row rows[] = {
      {"no scheme, active plan", std::nullopt, plan(7), false, 2},
      {"bad scheme, active plan", std::string("{?}"), plan(7), false, 2},
      {"no scheme, no active plan", std::nullopt, std::nullopt, true, 0},
      {"bad scheme, no active plan", std::string("{?}"), std::nullopt, true, 0},
  };
  for (const Row& row : rows) {
    FakePower power;
    power.active = row.active;
    Restore r;
    r.lid_action = LidAction{1, 2};
    r.lid_scheme = row.scheme;
    Restore before = r;
    session_end_put_back_record(r, power);
    EXPECT_EQ(r.lid_action.has_value(), row.kept) << row.what;
    if (row.kept) {
      EXPECT_EQ(r, before) << row.what;
    }
    EXPECT_EQ(power.writes().size(), row.writes) << row.what;
    if (row.writes > 0) {
      EXPECT_EQ(power.writes()[0].plan, plan(7)) << row.what;
      EXPECT_EQ(power.get(plan(7), kLidCloseAction, PowerSource::dc), 2u) << row.what;
    }
  }
  // lid_scheme alone means nothing and goes.
  FakePower power;
  Restore r;
  r.lid_scheme = plan_text(1);
  session_end_put_back_record(r, power);
  EXPECT_FALSE(r.lid_scheme);
}

// The session end (on the watcher's thread) waits for a put-back run of
// this process to finish with restore.json, and the other way round.
TEST(SessionEnd, WaitsForARunInProgress) {
  vesk::testing::TempDir dir;
  Restore r;
  set_boost(r);
  ASSERT_TRUE(write_restore(dir.path(), r));

  std::mutex mu;
  std::condition_variable cv;
  bool run_writing = false, let_run_go = false;
  FakePower run_power;
  run_power.on_call = [&](const testing::PowerCall& c) {
    if (c.op != "write") return;
    std::unique_lock lock(mu);
    run_writing = true;
    cv.notify_all();
    cv.wait(lock, [&] { return let_run_go; });
  };
  FakeProcesses processes;
  PutBackResult result = PutBackResult::kPartlyRestored;
  std::thread run([&] { result = put_back(dir.path(), run_power, processes).result; });
  {
    std::unique_lock lock(mu);
    cv.wait(lock, [&] { return run_writing; });
  }
  // The run is inside its restore.json step.
  if (restore_journal_mutex().try_lock()) {
    restore_journal_mutex().unlock();
    ADD_FAILURE() << "the run does not hold the journal lock";
  }

  FakePower end_power;
  std::atomic<bool> ended{false};
  std::thread end([&] {
    EXPECT_TRUE(session_end_put_back(dir.path(), end_power));
    ended = true;
  });
  // Until the session end waits for the journal, or (were it not to wait)
  // has ended.
  while (restore_journal_mutex().waiting() == 0 && !ended.load()) std::this_thread::yield();
  EXPECT_FALSE(ended.load());
  EXPECT_TRUE(end_power.calls.empty());
  {
    std::lock_guard lock(mu);
    let_run_go = true;
  }
  cv.notify_all();
  run.join();
  end.join();
  EXPECT_EQ(result, PutBackResult::kRestored);
  // The run removed the journal before the session end looked: nothing to do.
  EXPECT_TRUE(end_power.calls.empty());
  EXPECT_FALSE(platform::file_exists(platform::join_path(dir.path(), kRestoreFile)));
}

// ---- Summary ----------------------------------------------------------------------------------

// One row per member of restore.json: the line it gives on its own.
struct SummaryRow {
  const char* key;
  void (*set)(Restore&);
  std::vector<std::string> lines;
};

TEST(JournalSummary, EveryMemberHasItsRow) {
  const std::string p1 = plan_text(1), p2 = plan_text(2), p3 = plan_text(3);
  const SummaryRow rows[] = {
      {"lid_more", set_more,
       {"lid-close action set to Do nothing in plan " + p2 + " (was 3 plugged in, 4 on battery)",
        "lid-close action set to Do nothing in plan " + p3 + " (was 5 plugged in, 6 on battery)"}},
      {"power_profile", keep_profile, {"power profile switched to power-saver (was balanced)"}},
      {"power_overlay", [](Restore& r) { r.power_overlay = "{ABC}"; },
       {"power mode switched to best efficiency (was {ABC})"}},
      {"lid_action", [](Restore& r) { r.lid_action = LidAction{1, 0}; },
       {"lid-close action set to Do nothing (was 1 plugged in, 0 on battery)"}},
      // Only the plan of lid_action: nothing is changed by it alone.
      {"lid_scheme", [](Restore& r) { r.lid_scheme = plan_text(1); }, {}},
      {"sleep_idle", set_idle,
       {"sleep set to never in plan " + p1 +
        " (was after 900 s plugged in, 600 s on battery; unattended 120 s plugged in, 60 s on "
        "battery)"}},
      {"boost_dc", set_boost,
       {"processor boost on battery turned off in plan " + p1 + " (was 2)"}},
      {"linux_tuned", [](Restore& r) { r.linux_tuned = true; },
       {"Linux power settings tuned by Vesk"}},
  };
  // A member added to the journal without a row here fails this test.
  std::optional<Json> written = parse_json(restore_text(Restore{}));
  ASSERT_TRUE(written && written->is_object());
  std::vector<std::string> keys;
  for (auto it = written->begin(); it != written->end(); ++it) keys.push_back(it.key());
  std::vector<std::string> row_keys;
  for (const SummaryRow& row : rows) row_keys.push_back(row.key);
  std::sort(keys.begin(), keys.end());
  std::sort(row_keys.begin(), row_keys.end());
  EXPECT_EQ(row_keys, keys);

  Restore all;
  std::vector<std::string> all_lines;
  for (const SummaryRow& row : rows) {
    Restore r;
    row.set(r);
    row.set(all);
    EXPECT_FALSE(is_empty(r)) << row.key;
    EXPECT_EQ(summary_lines({}, r), row.lines) << row.key;
  }
  // Together, in a fixed order after the apps.
  std::vector<std::string> together = summary_lines({paused(4242, "blender")}, all);
  ASSERT_EQ(together.size(), 9u);
  EXPECT_EQ(together[0], "paused blender (pid 4242)");
  EXPECT_EQ(together[1], rows[1].lines[0]);
  EXPECT_EQ(together[3], rows[3].lines[0]);
  EXPECT_TRUE(summary_lines({}, std::nullopt).empty());
}

TEST(JournalSummary, Lines) {
  vesk::testing::TempDir dir;
  EXPECT_TRUE(journal_summary(dir.path()).empty());
  ASSERT_TRUE(write_touched(dir.path(), {Touched{4242, "blender", 1, true, 32, std::nullopt},
                                         Touched{17, "code", 1, false, 64, "u"}}));
  Restore r;
  r.power_profile = "balanced";
  r.lid_action = LidAction{1, 0};
  ASSERT_TRUE(write_restore(dir.path(), r));
  EXPECT_EQ(journal_summary(dir.path()),
            (std::vector<std::string>{
                "paused blender (pid 4242)", "slowed code (pid 17)",
                "power profile switched to power-saver (was balanced)",
                "lid-close action set to Do nothing (was 1 plugged in, 0 on battery)"}));
}

// A journal that is there but gives nothing is named, not passed over; a
// blank one is nothing.
TEST(JournalSummary, UnreadableJournalsAreNamed) {
  vesk::testing::TempDir dir;
  std::string touched = platform::join_path(dir.path(), kTouchedFile);
  std::string restore = platform::join_path(dir.path(), kRestoreFile);
  ASSERT_TRUE(platform::write_file(touched, "[{}]"));
  ASSERT_TRUE(platform::write_file(restore, "{\"lid_action\": [1, 0], \"x\": 1, \"x\": 2}"));
  EXPECT_EQ(journal_summary(dir.path()),
            (std::vector<std::string>{
                touched + " couldn't be read: its content isn't a valid journal",
                restore + " couldn't be read: its content isn't a valid journal"}));
  ASSERT_TRUE(platform::write_file(touched, " \n"));
  ASSERT_TRUE(platform::write_file(restore, ""));
  EXPECT_TRUE(journal_summary(dir.path()).empty());
}

}  // namespace
}  // namespace vesk::restore
