// `install`, `doctor` and `uninstall` end to end with the system's own
// task tool and registry. They change the current user's registrations, so
// they only run inside wine, whose prefix is a throwaway.
#include <windows.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "win_helpers.h"
#include "platform/fs.h"

namespace vesk {
namespace {

using platform::join_path;
using testing::Sandbox;
using testing::under_wine;

// Where the task scheduler keeps the task's definition.
std::wstring task_file() {
  wchar_t dir[MAX_PATH + 1];
  UINT n = GetSystemDirectoryW(dir, MAX_PATH + 1);
  return std::wstring(dir, n) + L"\\Tasks\\Vesk Watchdog";
}

bool task_registered() {
  return GetFileAttributesW(task_file().c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool key_exists(const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool login_item_exists() {
  return RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                      L"Vesk", RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void create_registrations() {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                            L"Software\\Classes\\AppUserModelId\\Vesk.App\\Inner", 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const wchar_t name[] = L"Vesk";
  ASSERT_EQ(RegSetValueExW(key, L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                           sizeof name),
            ERROR_SUCCESS);
  RegCloseKey(key);
  const wchar_t command[] = L"C:\\Apps\\vesk-app.exe";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                            L"Vesk", REG_SZ, command, sizeof command),
            ERROR_SUCCESS);
  // A neighbour that must survive.
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                            L"VeskNeighbour", REG_SZ, command, sizeof command),
            ERROR_SUCCESS);
}

TEST(CareProgramWin, InstallDoctorUninstall) {
  if (!under_wine()) GTEST_SKIP() << "changes the user's task and registry: wine only";
  Sandbox box;
  std::string temp = join_path(box.root(), "temp");
  ASSERT_TRUE(platform::create_dirs(temp));
  platform::EnvChanges env{{"TMP", temp}, {"TEMP", temp}};
  std::string vesk = testing::built_program("vesk");

  // wine starts its Task Scheduler service on demand, and the first call
  // can time out while it comes up: try once more before giving up.
  auto install = box.run(vesk, {"install"}, env);
  if (install.exit_code != 0) install = box.run(vesk, {"install"}, env);
  if (install.exit_code == 2 && install.err.rfind("vesk: schtasks.exe:", 0) == 0) {
    GTEST_SKIP() << "wine's Task Scheduler service did not answer: " << install.err;
  }
  ASSERT_EQ(install.exit_code, 0) << install.err;
  EXPECT_EQ(install.out, "Watchdog installed.\n");
  EXPECT_TRUE(task_registered());
  EXPECT_TRUE(testing::names_in(temp).empty());
  auto marker = platform::read_file(join_path(box.app_folder(), "installed"));
  ASSERT_TRUE(marker.ok());
  EXPECT_FALSE(marker->empty());
  EXPECT_EQ(marker->find_first_not_of("0123456789"), std::string::npos);

  auto doctor = box.run(vesk, {"doctor"}, env);
  EXPECT_EQ(doctor.exit_code, 0);
  EXPECT_NE(doctor.out.find("\nWatchdog: installed\n"), std::string::npos) << doctor.out;

  create_registrations();
  ASSERT_TRUE(key_exists(L"Software\\Classes\\AppUserModelId\\Vesk.App"));
  ASSERT_TRUE(login_item_exists());

  auto uninstall = box.run(vesk, {"uninstall"}, env);
  EXPECT_EQ(uninstall.exit_code, 0) << uninstall.err;
  EXPECT_EQ(uninstall.out,
            "Vesk's watchdog and login item are removed and nothing it changed is left. Delete "
            "the app and " +
                box.app_folder() + " to finish.\n");
  EXPECT_FALSE(task_registered());
  EXPECT_FALSE(key_exists(L"Software\\Classes\\AppUserModelId\\Vesk.App"));
  EXPECT_FALSE(login_item_exists());
  EXPECT_TRUE(key_exists(L"Software\\Classes\\AppUserModelId"));
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                         L"VeskNeighbour", RRF_RT_ANY, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                     L"VeskNeighbour");
  EXPECT_FALSE(platform::file_exists(join_path(box.app_folder(), "installed")));

  // Again: nothing left to remove, the same message.
  auto again = box.run(vesk, {"uninstall"}, env);
  EXPECT_EQ(again.exit_code, 0);
  EXPECT_EQ(again.out, uninstall.out);
}

}  // namespace
}  // namespace vesk
