#include "platform/fs.h"

#include <gtest/gtest.h>

#include "harness.h"
#include "platform/process.h"

namespace vesk::platform {
namespace {

const bool kWindows = kPathSeparator == '\\';

TEST(Path, PartsOfAPath) {
  struct Row {
    std::string path, parent, name, extension;
  };
  const Row common[] = {
      {"", "", "", ""},
      {"c.txt", "", "c.txt", ".txt"},
      {"a/b/c.txt", "a/b", "c.txt", ".txt"},
      {"/a", "/", "a", ""},
      {"a/b/", "a/b", "", ""},
      {"x.tar.gz", "", "x.tar.gz", ".gz"},
      {"x.d/name", "x.d", "name", ""},  // dots in folders do not count
      {"x.d/.bashrc", "x.d", ".bashrc", ""},
      {"x.d/.claude.json", "x.d", ".claude.json", ".json"},
  };
  // '\' separates on Windows only.
  const Row windows[] = {
      {"C:\\a\\b.exe", "C:\\a", "b.exe", ".exe"},
      {"C:\\b.exe", "C:\\", "b.exe", ".exe"},
      {"dir.d\\name", "dir.d", "name", ""},
      {"a/b\\c", "a/b", "c", ""},
  };
  const Row posix[] = {
      {"C:\\a\\b.exe", "", "C:\\a\\b.exe", ".exe"},
      {"C:\\b.exe", "", "C:\\b.exe", ".exe"},
      {"dir.d\\name", "", "dir.d\\name", ".d\\name"},
      {"a/b\\c", "a", "b\\c", ""},
  };
  auto check = [](const Row& row) {
    EXPECT_EQ(parent_folder(row.path), row.parent) << row.path;
    EXPECT_EQ(file_name(row.path), row.name) << row.path;
    EXPECT_EQ(extension(row.path), row.extension) << row.path;
  };
  for (const Row& row : common) check(row);
  for (const Row& row : kWindows ? windows : posix) check(row);
  EXPECT_EQ(is_path_separator('\\'), kWindows);
  EXPECT_TRUE(is_path_separator('/'));
}

TEST(Path, JoinReplaceExtensionAndTempSibling) {
  const std::string sep(1, kPathSeparator);
  const std::string folder = join_path("home", "x.d");
  EXPECT_EQ(folder, "home" + sep + "x.d");
  EXPECT_EQ(join_path("home/", "x"), "home/x");
  EXPECT_EQ(join_path("", "x"), "x");
  EXPECT_EQ(join_path("C:\\", "x"), kWindows ? "C:\\x" : "C:\\/x");

  const std::pair<std::string, std::string> renamed[] = {
      {replace_extension(".claude.json", "vesk-tmp"), ".claude.vesk-tmp"},
      {replace_extension(".claude.json", "json.vesk-backup"), ".claude.json.vesk-backup"},
      {replace_extension("config.toml", "toml.vesk-backup"), "config.toml.vesk-backup"},
      {replace_extension("a.b.c", "x"), "a.b.x"},
      // A name whose only dot comes first, or that has none, gets it appended.
      {replace_extension(".bashrc", "vesk-tmp"), ".bashrc.vesk-tmp"},
      {replace_extension("README", "vesk-tmp"), "README.vesk-tmp"},
      {replace_extension(join_path(folder, "name"), "x"), join_path(folder, "name.x")},
      {replace_extension(join_path(folder, ".codex"), "x"), join_path(folder, ".codex.x")},
      // The sibling that AtomicFile writes for this process.
      {temp_sibling("restore.json", "tmp", 4242), "restore.tmp4242"},
      {temp_sibling("a" + sep + "touched.json", "tmp", 4242), "a" + sep + "touched.tmp4242"},
      {temp_sibling("alive", "tmp", 4242), "alive.tmp4242"},
      {temp_sibling(".hidden", "tmp", 4242), ".hidden.tmp4242"},
      {temp_sibling("x.tar.gz", "tmp", 4242), "x.tar.tmp4242"},
      {temp_sibling("dir.d" + sep + "name", "tmp", 7), "dir.d" + sep + "name.tmp7"},
      {temp_sibling(".claude.json", "vesk-tmp", 12), ".claude.vesk-tmp12"},
  };
  for (const auto& [got, want] : renamed) EXPECT_EQ(got, want);
}

TEST(AtomicFile, ReplacesAndLeavesNoTemporary) {
  testing::TempDir dir;
  std::string target = join_path(dir.path(), "restore.json");
  ASSERT_TRUE(write_file(target, "old"));
  ASSERT_TRUE(write_file_atomic(target, "new contents"));
  EXPECT_EQ(read_file(target).value_or(""), "new contents");
  EXPECT_EQ(testing::names_in(dir.path()), std::vector<std::string>{"restore.json"});
}

TEST(AtomicFile, FailureLeavesTargetAlone) {
  testing::TempDir dir;
  std::string missing = join_path(join_path(dir.path(), "no-such-folder"), "restore.json");
  Status result = write_file_atomic(missing, "x");
  ASSERT_FALSE(result);
  EXPECT_NE(result.message().find("(os error "), std::string::npos) << result.message();
  EXPECT_TRUE(testing::names_in(dir.path()).empty());

  // Given up before commit(): the sibling goes, the target stays.
  std::string target = join_path(dir.path(), "settings.json");
  ASSERT_TRUE(write_file(target, "old"));
  {
    auto file = AtomicFile::create(target, temp_sibling(target, "tmp", current_pid()));
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write_all("half"));
    EXPECT_EQ(testing::names_in(dir.path()).size(), 2u);
  }
  EXPECT_EQ(read_file(target).value_or(""), "old");
  EXPECT_EQ(testing::names_in(dir.path()), std::vector<std::string>{"settings.json"});
}

TEST(RenameNoReplace, NeverOverAnExistingFile) {
  testing::TempDir dir;
  std::string from = join_path(dir.path(), "a"), to = join_path(dir.path(), "b");
  ASSERT_TRUE(write_file(from, "1"));
  ASSERT_TRUE(write_file(to, "2"));
  EXPECT_FALSE(rename_no_replace(from, to));
  EXPECT_EQ(read_file(from).value_or(""), "1");
  EXPECT_EQ(read_file(to).value_or(""), "2");
  ASSERT_TRUE(remove_file(to));
  EXPECT_TRUE(rename_no_replace(from, to));
  EXPECT_EQ(testing::names_in(dir.path()), std::vector<std::string>{"b"});
  EXPECT_EQ(read_file(to).value_or(""), "1");
}

TEST(RetryWhileBusy, GrowingPausesForAboutASecond) {
  struct Row {
    int busy_tries;       // tries that fail busy before the outcome
    bool then_ok;         // the outcome after them: success, or a hard failure
    size_t pauses;        // pauses taken
    bool ok;
  };
  const Row rows[] = {
      {0, true, 0, true},    // at once
      {3, true, 3, true},    // after 2 + 4 + 8 ms
      {0, false, 0, false},  // a failure that is not busy is not retried
      {2, false, 2, false},
      {100, true, 10, false},  // busy throughout: given up after ~1 s
  };
  for (const Row& row : rows) {
    int tries = 0;
    std::vector<uint32_t> pauses;
    Status got = retry_while_busy(
        [&]() -> BusyTry {
          if (tries++ < row.busy_tries) return {Error{"busy " + std::to_string(tries)}, true};
          if (row.then_ok) return {};
          return {Error{"hard"}, false};
        },
        [&](uint32_t ms) { pauses.push_back(ms); });
    EXPECT_EQ(got.ok(), row.ok) << row.busy_tries;
    ASSERT_EQ(pauses.size(), row.pauses) << row.busy_tries;
    if (!row.ok) {
      // The last failure's own message.
      EXPECT_EQ(got.message(), row.then_ok ? "busy 11" : "hard") << row.busy_tries;
    }
    uint32_t total = 0;
    for (size_t i = 0; i < pauses.size(); ++i) {
      total += pauses[i];
      if (i > 0) {
        EXPECT_GE(pauses[i], pauses[i - 1]);
      }
      EXPECT_LE(pauses[i], 250u);
    }
    if (row.busy_tries == 100) {
      EXPECT_GE(total, 1000u);
      EXPECT_LE(total, 1300u);
    }
  }
}

}  // namespace
}  // namespace vesk::platform
