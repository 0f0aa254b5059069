// The real AgentFiles over files in a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "agents/registrar.h"
#include "harness.h"
#include "platform/fs.h"
#include "platform/process.h"

namespace vesk::agents {
namespace {

using platform::join_path;
using vesk::testing::names_in;
using vesk::testing::TempDir;

std::string contents(const std::string& path) {
  auto text = platform::read_file(path);
  return text ? *text : "<missing>";
}

std::string own_pid() { return std::to_string(platform::current_pid()); }

TEST(SystemFiles, AVersionIsTheBytesAndAStampThatChangesWithTheFile) {
  TempDir dir;
  std::string file = join_path(dir.path(), "settings.json");
  auto none = system_files().read(file);
  ASSERT_TRUE(none) << none.message();
  EXPECT_FALSE(none->bytes);

  ASSERT_TRUE(platform::write_file(file, "{}"));
  auto first = system_files().read(file);
  ASSERT_TRUE(first) << first.message();
  EXPECT_EQ(first->bytes, std::optional<std::string>("{}"));
  EXPECT_FALSE(first->stamp.empty());
  EXPECT_EQ(system_files().read(file)->stamp, first->stamp);

  // The same bytes in a new file: another version.
  ASSERT_TRUE(platform::write_file_atomic(file, "{}"));
  auto second = system_files().read(file);
  ASSERT_TRUE(second) << second.message();
  EXPECT_NE(second->stamp, first->stamp);
}

TEST(SystemFiles, AFolderInTheFilesPlaceIsRefused) {
  TempDir dir;
  std::string file = join_path(dir.path(), ".claude.json");
  ASSERT_TRUE(platform::create_dirs(join_path(file, "inside")));
  auto read = system_files().read(file);
  ASSERT_FALSE(read);
  EXPECT_EQ(read.message(), file + " isn't a regular file, so I left it alone");
  // Written as if there were no file: the last look sees the folder.
  auto written = system_files().write(file, "{}", FileVersion{});
  ASSERT_TRUE(written) << written.message();
  EXPECT_FALSE(*written);
  EXPECT_EQ(names_in(file), std::vector<std::string>{"inside"});
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{".claude.json"});
}

// Another program changes the file between the read and the write: the
// write answers false and leaves nothing behind.
TEST(SystemFiles, AWriteAfterAnotherWritersChangeAnswersFalse) {
  struct Row {
    const char* what;
    std::optional<std::string> before;  // nullopt: no file
    std::function<void(const std::string& file)> meddle;
    std::optional<std::string> after;
  };
  const Row rows[] = {
      {"other bytes", "{\"a\": 1}",
       [](const std::string& f) { ASSERT_TRUE(platform::write_file(f, "{\"a\": 2}")); },
       "{\"a\": 2}"},
      {"the same bytes in a new file", "{\"a\": 1}",
       [](const std::string& f) { ASSERT_TRUE(platform::write_file_atomic(f, "{\"a\": 1}")); },
       "{\"a\": 1}"},
      {"a file where there was none", std::nullopt,
       [](const std::string& f) { ASSERT_TRUE(platform::write_file(f, "{}")); }, "{}"},
      {"the file removed", "{\"a\": 1}",
       [](const std::string& f) { ASSERT_TRUE(platform::remove_file(f)); }, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    std::string file = join_path(dir.path(), "settings.json");
    if (row.before) {
      ASSERT_TRUE(platform::write_file(file, *row.before));
    }
    auto old = system_files().read(file);
    ASSERT_TRUE(old) << old.message();
    row.meddle(file);
    auto written = system_files().write(file, "{\"mine\": true}", *old);
    ASSERT_TRUE(written) << written.message();
    EXPECT_FALSE(*written);
    EXPECT_EQ(contents(file), row.after.value_or("<missing>"));
    std::vector<std::string> left;
    if (row.after) left.push_back("settings.json");
    EXPECT_EQ(names_in(dir.path()), left);

    // Read again, the write goes through.
    auto again = system_files().read(file);
    ASSERT_TRUE(again) << again.message();
    written = system_files().write(file, "{\"mine\": true}", *again);
    ASSERT_TRUE(written) << written.message();
    EXPECT_TRUE(*written);
    EXPECT_EQ(contents(file), "{\"mine\": true}");
  }
}

// Deleting a file of vesk's: only the version that was read, with no
// backup; a file that is gone is removed already.
TEST(SystemFiles, ARemoveDeletesOnlyTheVersionRead) {
  struct Row {
    const char* what;
    std::optional<std::string> before;  // nullopt: no file
    std::function<void(const std::string& file)> meddle;
    bool answer;
    std::optional<std::string> after;
  };
  const auto none = [](const std::string&) {};
  const Row rows[] = {
      {"unchanged", "#!/bin/sh\n", none, true, std::nullopt},
      {"an empty file", "", none, true, std::nullopt},
      {"no file", std::nullopt, none, true, std::nullopt},
      {"other bytes", "a", [](const std::string& f) { ASSERT_TRUE(platform::write_file(f, "b")); },
       false, "b"},
      {"the same bytes in a new file", "a",
       [](const std::string& f) { ASSERT_TRUE(platform::write_file_atomic(f, "a")); }, false,
       "a"},
      {"a file where there was none", std::nullopt,
       [](const std::string& f) { ASSERT_TRUE(platform::write_file(f, "mine")); }, false,
       "mine"},
      {"gone meanwhile", "a", [](const std::string& f) { ASSERT_TRUE(platform::remove_file(f)); },
       true, std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    std::string file = join_path(dir.path(), "TaskStart");
    if (row.before) {
      ASSERT_TRUE(platform::write_file(file, *row.before));
    }
    auto old = system_files().read(file);
    ASSERT_TRUE(old) << old.message();
    row.meddle(file);
    auto removed = system_files().remove(file, *old);
    ASSERT_TRUE(removed) << removed.message();
    EXPECT_EQ(*removed, row.answer);
    EXPECT_EQ(contents(file), row.after.value_or("<missing>"));
    std::vector<std::string> left;
    if (row.after) left.push_back("TaskStart");
    EXPECT_EQ(names_in(dir.path()), left);
  }
  // A folder that isn't there holds no file either.
  TempDir dir;
  auto removed = system_files().remove(join_path(dir.path(), "hooks/TaskStart"), FileVersion{});
  ASSERT_TRUE(removed) << removed.message();
  EXPECT_TRUE(*removed);
}

TEST(SystemFiles, ARemoveLeavesAFolderInTheFilesPlace) {
  TempDir dir;
  std::string file = join_path(dir.path(), "vesk.js");
  ASSERT_TRUE(platform::write_file(file, "x"));
  auto old = system_files().read(file);
  ASSERT_TRUE(old);
  ASSERT_TRUE(platform::remove_file(file));
  ASSERT_TRUE(platform::create_dirs(join_path(file, "inside")));
  auto removed = system_files().remove(file, *old);
  ASSERT_TRUE(removed) << removed.message();
  EXPECT_FALSE(*removed);
  EXPECT_EQ(names_in(file), std::vector<std::string>{"inside"});
}

TEST(SystemFiles, ABackupIsNumberedAfterTheHighest) {
  struct Row {
    std::vector<std::string> there;  // after "config.toml"
    std::string made;
  };
  const Row rows[] = {
      {{}, "config.toml.vesk-backup"},
      {{".vesk-backup"}, "config.toml.vesk-backup-2"},
      {{".vesk-backup", ".vesk-backup-2", ".vesk-backup-5"}, "config.toml.vesk-backup-6"},
      {{".vesk-backup-3"}, "config.toml.vesk-backup-4"},
      {{".vesk-backup-10", ".vesk-backup-9"}, "config.toml.vesk-backup-11"},
      // Not backups of this file.
      {{".vesk-backup-1", ".vesk-backup-07", ".vesk-backup-x", ".vesk-backupx", ".vesk-backup-"},
       "config.toml.vesk-backup"},
  };
  for (const Row& row : rows) {
    TempDir dir;
    std::string file = join_path(dir.path(), "config.toml");
    ASSERT_TRUE(platform::write_file(file, "a = 1\n"));
    std::vector<std::string> expected{"config.toml", row.made};
    for (const std::string& name : row.there) {
      ASSERT_TRUE(platform::write_file(file + name, "older"));
      expected.push_back("config.toml" + name);
    }
    std::sort(expected.begin(), expected.end());
    auto old = system_files().read(file);
    ASSERT_TRUE(old);
    auto written = system_files().write(file, "a = 2\n", *old);
    ASSERT_TRUE(written) << written.message();
    EXPECT_TRUE(*written);
    EXPECT_EQ(names_in(dir.path()), expected) << row.made;
    EXPECT_EQ(contents(join_path(dir.path(), row.made)), "a = 1\n");
    for (const std::string& name : row.there) EXPECT_EQ(contents(file + name), "older");
  }
}

TEST(SystemFiles, AFailedWriteLeavesNothingBehind) {
  TempDir dir;
  std::string file = join_path(dir.path(), ".claude.json");
  ASSERT_TRUE(platform::write_file(file, "{\"a\": 1}"));
  // The temporary sibling can't be created: a folder has its name.
  std::string blocker = ".claude.vesk-tmp" + own_pid();
  ASSERT_TRUE(platform::create_dirs(join_path(dir.path(), blocker)));
  auto old = system_files().read(file);
  ASSERT_TRUE(old);
  auto written = system_files().write(file, "{}", *old);
  ASSERT_FALSE(written);
  EXPECT_EQ(written.message().rfind("couldn't write " + file + ": ", 0), 0u) << written.message();
  EXPECT_NE(written.message().find("(os error "), std::string::npos) << written.message();
  EXPECT_EQ(contents(file), "{\"a\": 1}");
  // No backup either.
  EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{".claude.json", blocker}));
}

TEST(SystemFiles, TemporaryFilesOfEndedRunsAreRemovedAndLiveOnesKept) {
  auto ended = platform::Child::start(testing::built_program("vesk-testchild"), {"exit", "0"});
  ASSERT_TRUE(ended) << ended.message();
  const std::string dead = std::to_string(ended->pid());
  ASSERT_TRUE(ended->wait());
  auto running =
      platform::Child::start(testing::built_program("vesk-testchild"), {"exit", "0", "30000"});
  ASSERT_TRUE(running) << running.message();
  const std::string live = std::to_string(running->pid());

  TempDir dir;
  std::string file = join_path(dir.path(), "config.toml");
  const std::vector<std::string> kept{
      "config.vesk-tmp" + live, "config.vesk-tmp", "config.vesk-tmp0" + dead,
      "config.vesk-tmp" + dead + "x", "other.vesk-tmp" + dead, "config.toml.vesk-tmp" + dead};
  for (const std::string& name : kept) {
    ASSERT_TRUE(platform::write_file(join_path(dir.path(), name), "left"));
  }
  ASSERT_TRUE(platform::write_file(join_path(dir.path(), "config.vesk-tmp" + dead), "left"));
  auto written = system_files().write(file, "a = 1\n", FileVersion{});
  ASSERT_TRUE(written) << written.message();
  EXPECT_TRUE(*written);
  std::vector<std::string> expected = kept;
  expected.push_back("config.toml");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names_in(dir.path()), expected);
}

}  // namespace
}  // namespace vesk::agents
