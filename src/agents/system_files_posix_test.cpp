// The real AgentFiles with what only POSIX makes: FIFOs, sockets, device
// nodes, permission bits and owners.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>

#include "agents/registrar.h"
#include "harness.h"
#include "platform/fs.h"

namespace vesk::agents {
namespace {

using platform::join_path;
using vesk::testing::names_in;
using vesk::testing::TempDir;

std::string file_text(const std::string& path) {
  auto text = platform::read_file(path);
  return text ? *text : "<missing>";
}

bool running_as_root() { return ::geteuid() == 0; }

// A read that must not hang: a FIFO's open would wait for a writer. When it
// does hang, a writer is let in so that the test can end.
Result<FileVersion> read_without_hanging(const std::string& path, bool& hung) {
  auto reading = std::async(std::launch::async, [&] { return system_files().read(path); });
  hung = reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready;
  if (hung) {
    int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
  }
  return reading.get();
}

TEST(SystemFilesPosix, WhatIsNoRegularFileIsRefusedAndNeverReplaced) {
  struct Row {
    const char* what;
    bool needs_root;
    std::function<bool(const std::string& path)> make;
    mode_t kind;
  };
  const Row rows[] = {
      {"a FIFO", false, [](const std::string& p) { return ::mkfifo(p.c_str(), 0600) == 0; },
       S_IFIFO},
      {"a socket", false,
       [](const std::string& p) {
         int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un addr{};
         addr.sun_family = AF_UNIX;
         if (s < 0 || p.size() >= sizeof addr.sun_path) return false;
         std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
         bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
         ::close(s);
         return bound;
       },
       S_IFSOCK},
      // A /dev/null of its own.
      {"a character device", true,
       [](const std::string& p) {
         return ::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
       },
       S_IFCHR},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.needs_root && !running_as_root()) continue;
    TempDir dir;
    std::string file = join_path(dir.path(), "settings.json");
    ASSERT_TRUE(row.make(file));
    bool hung = false;
    auto read = read_without_hanging(file, hung);
    EXPECT_FALSE(hung);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.message(), file + " isn't a regular file, so I left it alone");
    // Written as if there were no file: the last look sees it is there.
    auto written = system_files().write(file, "{}", FileVersion{});
    ASSERT_TRUE(written) << written.message();
    EXPECT_FALSE(*written);
    struct stat st{};
    ASSERT_EQ(::lstat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IFMT, row.kind);
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"settings.json"});
  }
}

TEST(SystemFilesPosix, SymbolicLinks) {
  TempDir dir;
  // A loop is reported, never taken for no file.
  std::string loop = join_path(dir.path(), "loop.json");
  ASSERT_EQ(::symlink("loop2.json", loop.c_str()), 0);
  ASSERT_EQ(::symlink("loop.json", join_path(dir.path(), "loop2.json").c_str()), 0);
  auto looped = system_files().read(loop);
  ASSERT_FALSE(looped);
  EXPECT_EQ(looped.message().rfind("couldn't read " + loop + ": ", 0), 0u) << looped.message();
  EXPECT_NE(looped.message().find("(os error "), std::string::npos) << looped.message();

  // A dangling link is no file yet: the write creates what it leads to.
  std::string real_folder = join_path(dir.path(), "real");
  std::string named = join_path(dir.path(), "named.json");
  ASSERT_EQ(::symlink("real/settings.json", named.c_str()), 0);
  auto none = system_files().read(named);
  ASSERT_TRUE(none) << none.message();
  EXPECT_FALSE(none->bytes);
  auto written = system_files().write(named, "{\"a\": 1}", *none);
  ASSERT_TRUE(written) << written.message();
  EXPECT_TRUE(*written);
  EXPECT_EQ(file_text(join_path(real_folder, "settings.json")), "{\"a\": 1}");

  // Written through again: the link stays, the backup goes beside it.
  auto old = system_files().read(named);
  ASSERT_TRUE(old);
  written = system_files().write(named, "{\"a\": 2}", *old);
  ASSERT_TRUE(written) << written.message();
  EXPECT_TRUE(*written);
  struct stat st{};
  ASSERT_EQ(::lstat(named.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(file_text(named), "{\"a\": 2}");
  EXPECT_EQ(file_text(named + ".vesk-backup"), "{\"a\": 1}");
  EXPECT_EQ(names_in(real_folder), std::vector<std::string>{"settings.json"});
}

TEST(SystemFilesPosix, ADanglingLinkTakesABackupName) {
  TempDir dir;
  std::string file = join_path(dir.path(), ".claude.json");
  ASSERT_TRUE(platform::write_file(file, "{}"));
  ASSERT_TRUE(platform::write_file(file + ".vesk-backup", "first"));
  std::string elsewhere = join_path(dir.path(), "elsewhere");
  ASSERT_EQ(::symlink(elsewhere.c_str(), (file + ".vesk-backup-2").c_str()), 0);
  auto old = system_files().read(file);
  ASSERT_TRUE(old);
  auto written = system_files().write(file, "{\"a\": 1}", *old);
  ASSERT_TRUE(written) << written.message();
  EXPECT_TRUE(*written);
  EXPECT_EQ(file_text(file + ".vesk-backup-3"), "{}");
  EXPECT_EQ(file_text(file + ".vesk-backup"), "first");
  EXPECT_FALSE(platform::file_exists(elsewhere));
}

TEST(SystemFilesPosix, AReadOnlyFileIsRefused) {
  for (mode_t mode : {0444, 0400, 0000}) {
    SCOPED_TRACE(mode);
    TempDir dir;
    std::string file = join_path(dir.path(), "config.toml");
    ASSERT_TRUE(platform::write_file(file, "a = 1\n"));
    ASSERT_EQ(::chmod(file.c_str(), mode), 0);
    auto old = system_files().read(file);
    if (!running_as_root() && mode == 0000) {
      // Not even readable.
      ASSERT_FALSE(old);
      EXPECT_EQ(old.message().rfind("couldn't read " + file + ": ", 0), 0u) << old.message();
      continue;
    }
    ASSERT_TRUE(old) << old.message();
    auto written = system_files().write(file, "a = 2\n", *old);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.message(), file + " is read-only, so I left it alone");
    EXPECT_EQ(file_text(file), "a = 1\n");
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"config.toml"});
  }
}

// Sets the process's umask for one test and puts the old one back.
class UmaskForTest {
 public:
  explicit UmaskForTest(mode_t mask) : old_(::umask(mask)) {}
  ~UmaskForTest() { ::umask(old_); }
  UmaskForTest(const UmaskForTest&) = delete;
  UmaskForTest& operator=(const UmaskForTest&) = delete;

 private:
  mode_t old_;
};

mode_t mode_of(const std::string& path) {
  struct stat st{};
  return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 07777;
}

TEST(SystemFilesPosix, ANewFileGetsTheModeLessTheUmaskWithTheOwnersExecuteKept) {
  struct Row {
    std::optional<uint32_t> mode;
    mode_t mask;
    mode_t made;
  };
  const Row rows[] = {
      {std::nullopt, 022, 0644}, {std::nullopt, 077, 0600}, {0755, 022, 0755},
      {0755, 027, 0750},         {0755, 077, 0700},         {0644, 022, 0644},
      {0644, 077, 0600},         {0755, 0, 0755},           {04755, 022, 0755},
      // A mask that would take the owner's execute or read: both stay.
      {0755, 0177, 0700},        {0755, 0377, 0500},        {0644, 0377, 0400},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.mode.value_or(0)) + " " + std::to_string(row.mask));
    TempDir dir;
    std::string file = join_path(dir.path(), "hooks/TaskStart");
    UmaskForTest mask(row.mask);
    auto written = system_files().write(file, "#!/bin/sh\n", FileVersion{}, row.mode);
    ASSERT_TRUE(written) << written.message();
    EXPECT_TRUE(*written);
    EXPECT_EQ(mode_of(file), row.made);
    EXPECT_EQ(file_text(file), "#!/bin/sh\n");
  }
}

TEST(SystemFilesPosix, AFileThatIsThereKeepsItsModeWhateverTheModeAsked) {
  for (mode_t had : {0600, 0644, 0700, 0751}) {
    SCOPED_TRACE(had);
    TempDir dir;
    std::string file = join_path(dir.path(), "TaskStart");
    ASSERT_TRUE(platform::write_file(file, "old\n"));
    ASSERT_EQ(::chmod(file.c_str(), had), 0);
    auto old = system_files().read(file);
    ASSERT_TRUE(old);
    auto written = system_files().write(file, "new\n", *old, 0755);
    ASSERT_TRUE(written) << written.message();
    EXPECT_TRUE(*written);
    EXPECT_EQ(mode_of(file), had);
    EXPECT_EQ(file_text(file), "new\n");
  }
}

TEST(SystemFilesPosix, ARemoveRefusesAReadOnlyFile) {
  for (mode_t mode : {0444, 0555}) {
    SCOPED_TRACE(mode);
    TempDir dir;
    std::string file = join_path(dir.path(), "TaskStart");
    ASSERT_TRUE(platform::write_file(file, "#!/bin/sh\n"));
    ASSERT_EQ(::chmod(file.c_str(), mode), 0);
    auto old = system_files().read(file);
    ASSERT_TRUE(old) << old.message();
    auto removed = system_files().remove(file, *old);
    ASSERT_FALSE(removed);
    EXPECT_EQ(removed.message(), file + " is read-only, so I left it alone");
    EXPECT_EQ(file_text(file), "#!/bin/sh\n");
  }
}

TEST(SystemFilesPosix, ARemoveDeletesALinkAndNotWhatItLeadsTo) {
  TempDir dir;
  std::string real = join_path(dir.path(), "real.js");
  std::string named = join_path(dir.path(), "vesk.js");
  ASSERT_TRUE(platform::write_file(real, "plugin"));
  ASSERT_EQ(::symlink("real.js", named.c_str()), 0);
  auto old = system_files().read(named);
  ASSERT_TRUE(old) << old.message();
  auto removed = system_files().remove(named, *old);
  ASSERT_TRUE(removed) << removed.message();
  EXPECT_TRUE(*removed);
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"real.js"});
  EXPECT_EQ(file_text(real), "plugin");

  // A link whose file changed meanwhile stays, and so does the file.
  ASSERT_EQ(::symlink("real.js", named.c_str()), 0);
  old = system_files().read(named);
  ASSERT_TRUE(old);
  ASSERT_TRUE(platform::write_file(real, "another plugin"));
  removed = system_files().remove(named, *old);
  ASSERT_TRUE(removed) << removed.message();
  EXPECT_FALSE(*removed);
  EXPECT_EQ(file_text(named), "another plugin");

  // A link to a read-only file is refused as the file is.
  ASSERT_EQ(::chmod(real.c_str(), 0444), 0);
  old = system_files().read(named);
  ASSERT_TRUE(old);
  removed = system_files().remove(named, *old);
  ASSERT_FALSE(removed);
  EXPECT_EQ(removed.message(), named + " is read-only, so I left it alone");
  EXPECT_TRUE(platform::name_taken(named));

  // A link that leads nowhere holds no file: removed already, and left.
  std::string dangling = join_path(dir.path(), "gone.js");
  ASSERT_EQ(::symlink("nowhere.js", dangling.c_str()), 0);
  auto none = system_files().read(dangling);
  ASSERT_TRUE(none);
  removed = system_files().remove(dangling, *none);
  ASSERT_TRUE(removed) << removed.message();
  EXPECT_TRUE(*removed);
  EXPECT_TRUE(platform::name_taken(dangling));
}

TEST(SystemFilesPosix, AFileThatCannotBeDeletedIsReported) {
  if (running_as_root()) GTEST_SKIP() << "root may delete in any folder";
  TempDir dir;
  std::string folder = join_path(dir.path(), "hooks");
  std::string file = join_path(folder, "TaskStart");
  ASSERT_TRUE(platform::create_dirs(folder));
  ASSERT_TRUE(platform::write_file(file, "x"));
  auto old = system_files().read(file);
  ASSERT_TRUE(old);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  auto removed = system_files().remove(file, *old);
  ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
  ASSERT_FALSE(removed);
  EXPECT_EQ(removed.message().rfind("couldn't delete " + file + ": ", 0), 0u) << removed.message();
  EXPECT_EQ(file_text(file), "x");
}

TEST(SystemFilesPosix, TheNewFileKeepsTheOldOnesOwnerAndMode) {
  if (!running_as_root()) GTEST_SKIP() << "only root can give a file to another user";
  TempDir dir;
  std::string file = join_path(dir.path(), "config.toml");
  ASSERT_TRUE(platform::write_file(file, "a = 1\n"));
  const uid_t owner = 4242;
  const gid_t group = 4343;
  ASSERT_EQ(::chown(file.c_str(), owner, group), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  auto old = system_files().read(file);
  ASSERT_TRUE(old);
  auto written = system_files().write(file, "a = 2\n", *old);
  ASSERT_TRUE(written) << written.message();
  EXPECT_TRUE(*written);
  for (const std::string& path : {file, file + ".vesk-backup"}) {
    SCOPED_TRACE(path);
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, owner);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
  }
  EXPECT_EQ(file_text(file), "a = 2\n");
}

TEST(SystemFilesPosix, AFailedBackupLeavesNothingBehind) {
  TempDir dir;
  // A name the backup's suffix makes too long for the file system, while
  // the temporary sibling's still fits.
  std::string file = join_path(dir.path(), std::string(239, 'c') + ".json");
  ASSERT_TRUE(platform::write_file(file, "{}"));
  auto old = system_files().read(file);
  ASSERT_TRUE(old) << old.message();
  auto written = system_files().write(file, "{\"a\": 1}", *old);
  ASSERT_FALSE(written);
  const std::string said = "couldn't back up " + file + " to " + file + ".vesk-backup: ";
  EXPECT_EQ(written.message().rfind(said, 0), 0u) << written.message();
  EXPECT_EQ(file_text(file), "{}");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{std::string(platform::file_name(file))});
}

}  // namespace
}  // namespace vesk::agents
