// Replacing files that other programs hold open, paths past MAX_PATH, and the
// access a replacement keeps, under the Windows layer.
#include <gtest/gtest.h>

#include "harness.h"
#include "platform/error.h"
#include "platform/file_access.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/temp_file.h"
#include "platform/win_handle.h"  // windows.h first
#include "win_helpers.h"

#include <aclapi.h>
#include <sddl.h>

namespace vesk::platform {
namespace {

using win::widen;

using testing::HeldOpen;

TEST(AtomicFileWin, ReplacesAFileAReaderHoldsOpen) {
  testing::TempDir dir;
  // A reader without delete sharing blocks any rename for as long as it
  // holds the file; one with it blocks the plain rename, not the POSIX one.
  for (DWORD share : {DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_DELETE}}) {
    for (const char* name : {"restore.json", ".claude.json"}) {
      std::string target = join_path(dir.path(), name);
      ASSERT_TRUE(write_file(target, "old"));
      {
        HeldOpen reader(target, share, 300);
        ASSERT_TRUE(reader.held());
        Status written = write_file_atomic(target, "new contents");
        ASSERT_TRUE(written) << name << ": " << written.message();
      }
      EXPECT_EQ(read_file(target).value_or(""), "new contents") << name;
      ASSERT_TRUE(remove_file(target));
      EXPECT_TRUE(testing::names_in(dir.path()).empty()) << name;
    }
  }
}

TEST(AtomicFileWin, GivesUpAfterAboutASecond) {
  testing::TempDir dir;
  std::string target = join_path(dir.path(), "restore.json");
  ASSERT_TRUE(write_file(target, "old"));
  HeldOpen reader(target, FILE_SHARE_READ, 3000);
  ASSERT_TRUE(reader.held());
  uint64_t start = GetTickCount64();
  Status written = write_file_atomic(target, "new");
  uint64_t took = GetTickCount64() - start;
  ASSERT_FALSE(written);
  EXPECT_NE(written.message().find("(os error "), std::string::npos) << written.message();
  EXPECT_GE(took, 900u);
  EXPECT_LE(took, 2500u);
  EXPECT_EQ(read_file(target).value_or(""), "old");
  EXPECT_EQ(testing::names_in(dir.path()), std::vector<std::string>{"restore.json"});
}

TEST(AtomicFileWin, NobodyElseWritesTheTemporary) {
  testing::TempDir dir;
  std::string target = join_path(dir.path(), "restore.json");
  auto file = AtomicFile::create(target, temp_sibling(target, "tmp", current_pid()));
  ASSERT_TRUE(file) << file.message();
  win::UniqueHandle other(CreateFileW(widen(file->temp_path()).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_FALSE(other.valid());
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
}

TEST(PathsWin, LongerThanMaxPath) {
  testing::TempDir dir;
  std::string folder = dir.path();
  while (folder.size() <= 300) folder = join_path(folder, std::string(40, 'd') + "\xC3\xA9");
  ASSERT_TRUE(create_dirs(folder));
  std::string target = join_path(folder, "restore.json");
  ASSERT_TRUE(write_file_atomic(target, "one"));
  ASSERT_TRUE(write_file_atomic(target, "two"));
  EXPECT_EQ(read_file(target).value_or(""), "two");
  EXPECT_EQ(testing::names_in(folder), std::vector<std::string>{"restore.json"});

  // A temporary folder that long.
  std::wstring old(platform::win::kLongestPath, L'\0');
  old.resize(GetEnvironmentVariableW(L"TMP", old.data(), static_cast<DWORD>(old.size())));
  ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", widen(folder).c_str()));
  auto temp = temp_folder();
  auto made = make_temp_dir("vesk-long-");
  SetEnvironmentVariableW(L"TMP", old.empty() ? nullptr : old.c_str());
  ASSERT_TRUE(temp) << temp.message();
  EXPECT_EQ(*temp, folder);
  ASSERT_TRUE(made) << made.message();
  EXPECT_EQ(parent_folder(*made), folder);
  EXPECT_TRUE(file_exists(*made));
}

// The DACL in SDDL form, and whether it is protected from the folder's.
std::string dacl_text(const std::string& path) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  PACL dacl = nullptr;
  if (GetNamedSecurityInfoW(widen(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS) {
    return "unreadable";
  }
  wchar_t* text = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1,
                                                       DACL_SECURITY_INFORMATION, &text, nullptr);
  std::string out = text != nullptr ? win::narrow(text) : "none";
  LocalFree(text);
  LocalFree(sd);
  return out;
}

TEST(CopyAccessWin, TheReplacementGetsTheOriginalsDacl) {
  testing::TempDir dir;
  std::string from = join_path(dir.path(), ".claude.json");
  std::string to = join_path(dir.path(), ".claude.vesk-tmp1");
  ASSERT_TRUE(write_file(from, "{}"));
  ASSERT_TRUE(write_file(to, "{}"));
  // Only the owner may read or write; nothing from the folder.
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      L"D:P(A;;FA;;;OW)(A;;FR;;;SY)", SDDL_REVISION_1, &sd, nullptr));
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
  std::wstring wfrom = widen(from);
  ASSERT_EQ(SetNamedSecurityInfoW(wfrom.data(), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, dacl, nullptr),
            DWORD{ERROR_SUCCESS});
  LocalFree(sd);
  std::string wanted = dacl_text(from);
  // Wine keeps no DACL set on a file (both read back as its default), so
  // there it only shows that the copy succeeds and matches.
  if (!testing::under_wine()) {
    ASSERT_EQ(wanted, "D:P(A;;FA;;;OW)(A;;FR;;;SY)");
    ASSERT_NE(wanted, dacl_text(to));
  }
  ASSERT_TRUE(copy_access(from, to));
  EXPECT_EQ(dacl_text(to), wanted);
  // Nothing to copy from is no error.
  EXPECT_TRUE(copy_access(join_path(dir.path(), "missing.json"), to));
}

TEST(RegularFileWin, OnlyDiskFilesAreReadAndReadOnlyIsTold) {
  testing::TempDir dir;
  std::string file = join_path(dir.path(), "settings.json");
  ASSERT_TRUE(write_file(file, "{}"));
  auto read = read_regular_file(file);
  ASSERT_TRUE(read) << read.message();
  EXPECT_EQ(read->kind, FileRead::Kind::kRegular);
  EXPECT_EQ(read->bytes, "{}");
  EXPECT_FALSE(read->stamp.empty());
  // Every look is a value or a message: a failure shows the system's reason.
  auto read_only = [](const std::string& path) -> std::string {
    auto got = file_read_only(path);
    return got ? (*got ? "read-only" : "writable") : got.message();
  };
  auto kind = [](const std::string& path) -> std::string {
    auto got = read_regular_file(path);
    if (!got) return got.message();
    switch (got->kind) {
      case FileRead::Kind::kAbsent: return "absent";
      case FileRead::Kind::kNotRegular: return "not regular";
      case FileRead::Kind::kRegular: return "regular";
    }
    return "?";
  };
  EXPECT_EQ(read_only(file), "writable");
  ASSERT_TRUE(SetFileAttributesW(widen(file).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(read_only(file), "read-only");
  ASSERT_TRUE(SetFileAttributesW(widen(file).c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(read_only(join_path(dir.path(), "missing.json")), "writable");

  EXPECT_EQ(kind(dir.path()), "not regular");
  EXPECT_EQ(kind("\\\\.\\NUL"), "not regular");
  EXPECT_EQ(kind(join_path(dir.path(), "missing.json")), "absent");
}

TEST(RegularFileWin, ALinkToNothingLeadsToTheFileAWriteCreates) {
  testing::TempDir dir;
  std::string link = join_path(dir.path(), "named.json");
  std::string target = join_path(dir.path(), "real.json");
  if (!CreateSymbolicLinkW(widen(link).c_str(), L"real.json",
                           SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
    GTEST_SKIP() << "no symbolic links here: " << last_error().message;
  }
  auto read = read_regular_file(link);
  ASSERT_TRUE(read) << read.message();
  EXPECT_EQ(read->kind, FileRead::Kind::kAbsent);
  // Wine keeps a link to nothing as a dangling host link, which no call
  // sees, not even opened as the link itself: there it is simply no file.
  if (testing::under_wine()) GTEST_SKIP() << "wine shows no link to nothing";
  auto leads = link_target(link);
  ASSERT_TRUE(leads) << leads.message();
  EXPECT_EQ(*leads, target);
}

}  // namespace
}  // namespace vesk::platform
