// The built Windows program where users really run it: from a Downloads
// folder beside a planted DLL, on long profile paths, while other programs
// hold its files open.
#include <gtest/gtest.h>

#include "agents_files.h"
#include "harness.h"
#include "platform/fs.h"
#include "platform/win_handle.h"
#include "win_helpers.h"

namespace vesk {
namespace {

using platform::join_path;
using platform::win::widen;
using testing::HeldOpen;

// A lid-close change to put back, which needs powrprof.dll.
const char kLidRecord[] =
    "{\"lid_action\":[1,0],\"lid_scheme\":\"381b4222-f694-41f0-9685-ff5bb260df2e\"}";

bool copy(const std::string& from, const std::string& to) {
  return CopyFileW(widen(from).c_str(), widen(to).c_str(), FALSE) != 0;
}

TEST(HardeningWin, APlantedPowrprofIsNeverLoaded) {
  testing::Sandbox box;
  const std::string planted = testing::built_program("vesk-planted");
  std::string dll = planted.substr(0, planted.size() - 4) + ".dll";

  // The DLL does announce itself when it is loaded.
  std::string check = join_path(box.root(), "check");
  ASSERT_TRUE(platform::create_dirs(check));
  ASSERT_TRUE(copy(dll, join_path(check, "probe.dll")));
  HMODULE probe = LoadLibraryW(widen(join_path(check, "probe.dll")).c_str());
  ASSERT_NE(probe, nullptr);
  FreeLibrary(probe);
  ASSERT_TRUE(platform::file_exists(join_path(check, "probe.dll.loaded")));

  // Wine prefers its own powrprof to a DLL of that name wherever it lies;
  // told to prefer the file (for this program name only), it loads the
  // planted one as Windows would.
  const wchar_t kOverrides[] = L"Software\\Wine\\AppDefaults\\vesk-downloaded.exe\\DllOverrides";
  if (testing::under_wine()) {
    const wchar_t native[] = L"native,builtin";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kOverrides, L"powrprof", REG_SZ, native,
                              sizeof native),
              ERROR_SUCCESS);
  }
  std::string downloads = join_path(box.root(), "Downloads");
  ASSERT_TRUE(platform::create_dirs(downloads));
  std::string vesk = join_path(downloads, "vesk-downloaded.exe");
  ASSERT_TRUE(copy(testing::built_program("vesk"), vesk));
  ASSERT_TRUE(copy(dll, join_path(downloads, "powrprof.dll")));
  ASSERT_TRUE(platform::write_file(join_path(box.app_folder(), "restore.json"), kLidRecord));
  for (const char* command : {"rescue", "doctor"}) {
    auto run = box.run(vesk, {command}, {});
    EXPECT_NE(run.out, "") << command << ": " << run.err;
    EXPECT_FALSE(platform::file_exists(join_path(downloads, "powrprof.dll.loaded"))) << command;
  }
  if (testing::under_wine()) RegDeleteTreeW(HKEY_CURRENT_USER, kOverrides);
}

// The manifest resource (1, RT_MANIFEST) of a built program.
std::string manifest_of(const std::string& program) {
  HMODULE image = LoadLibraryExW(widen(program).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (image == nullptr) return "<not loaded>";
  std::string text = "<none>";
  if (HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    HGLOBAL data = LoadResource(image, found);
    const void* bytes = data != nullptr ? LockResource(data) : nullptr;
    if (bytes != nullptr) text.assign(static_cast<const char*>(bytes), SizeofResource(image, found));
  }
  FreeLibrary(image);
  return text;
}

TEST(HardeningWin, TheProgramCarriesItsManifest) {
  for (const char* program : {"vesk", "vesk-standin"}) {
    std::string manifest = manifest_of(testing::built_program(program));
    for (const char* part : {"level=\"asInvoker\"",
                             "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
                             "<ws2:longPathAware>true</ws2:longPathAware>"}) {
      EXPECT_NE(manifest.find(part), std::string::npos) << program << ": " << part << "\n"
                                                        << manifest;
    }
  }
}

TEST(HardeningWin, ProfileAndAppFolderLongerThanMaxPath) {
  testing::Sandbox box;
  std::string profile = box.root();
  while (profile.size() <= 300) profile = join_path(profile, std::string(50, 'p') + "\xC3\x96");
  ASSERT_TRUE(platform::create_dirs(profile));
  std::string vesk = testing::built_program("vesk");
  auto run = box.run(vesk, {"connect", "--no-hooks", "claude"}, {{"USERPROFILE", profile}});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  auto written = platform::read_file(join_path(profile, ".claude.json"));
  ASSERT_TRUE(written) << written.message();
  EXPECT_NE(written->find("\"mcpServers\""), std::string::npos);
  EXPECT_EQ(testing::names_in(profile), std::vector<std::string>{".claude.json"});

  // The app folder and the temporary folder there too.
  auto doctor = box.run(vesk, {"doctor"}, {{"APPDATA", profile}, {"TMP", profile}});
  EXPECT_EQ(doctor.exit_code, 0) << doctor.err;
  EXPECT_EQ(doctor.out.rfind("Vesk folder: " + join_path(profile, "Vesk") + "\n", 0), 0u)
      << doctor.out;
}

TEST(HardeningWin, ConnectWhileAReaderHoldsTheConfig) {
  testing::AgentProfile p;
  for (DWORD share : {DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_DELETE}}) {
    ASSERT_TRUE(platform::write_file(p.claude(), "{\"theme\": \"dark\"}"));
    platform::CapturedRun run;
    {
      HeldOpen reader(p.claude(), share, 300);
      ASSERT_TRUE(reader.held());
      run = p.vesk({"connect", "--no-hooks", "claude"});
    }
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(p.read(p.claude()).find(p.claude_inline()), std::string::npos);
    // One backup per run, none replaced.
    EXPECT_EQ(p.read(p.claude_backup() + (share == FILE_SHARE_READ ? "" : "-2")),
              "{\"theme\": \"dark\"}");
  }
}

// An agent's file with comments, CRLF and another server, in a profile
// folder longer than MAX_PATH with non-ASCII letters, while another program
// holds it open for a moment: connected and disconnected, nothing else lost.
TEST(HardeningWin, AgentFileInALongProfileWhileAReaderHoldsIt) {
  testing::Sandbox box;
  std::string profile = box.root();
  while (profile.size() <= 300) {
    profile = join_path(profile, std::string(40, 'p') + "\xC3\x96\xE2\x82\xAC");
  }
  const std::string folder = join_path(profile, ".cursor");
  ASSERT_TRUE(platform::create_dirs(folder));
  const std::string file = join_path(folder, "mcp.json");
  const std::string original =
      "{\r\n  // mine\r\n  \"mcpServers\": {\r\n    \"other\": {\"command\": \"x\"}\r\n  }\r\n}\r\n";
  ASSERT_TRUE(platform::write_file(file, original));
  const std::string vesk = testing::built_program("vesk");
  const std::pair<const char*, const char*> steps[] = {
      {"connect", "Cursor: Added to Cursor. New sessions can use Vesk.\n"},
      {"disconnect", "Cursor: Took Vesk out of Cursor.\n"},
  };
  for (const auto& [command, said] : steps) {
    platform::CapturedRun run;
    {
      HeldOpen reader(file, FILE_SHARE_READ, 300);
      ASSERT_TRUE(reader.held());
      // The MCP entry alone: the hooks' file has tests of its own.
      std::vector<std::string> args{command, "cursor"};
      if (std::string(command) == "connect") args.insert(args.begin() + 1, "--no-hooks");
      run = box.run(vesk, args, {{"USERPROFILE", profile}});
    }
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, said);
    EXPECT_EQ(run.err, "");
    auto text = platform::read_file(file);
    ASSERT_TRUE(text) << text.message();
    EXPECT_NE(text->find("// mine"), std::string::npos) << *text;
    EXPECT_EQ(text->find("\"vesk\"") != std::string::npos, std::string(command) == "connect");
  }
  EXPECT_EQ(platform::read_file(file).value_or(""), original);
  EXPECT_EQ(testing::names_in(folder),
            (std::vector<std::string>{"mcp.json", "mcp.json.vesk-backup", "mcp.json.vesk-backup-2"}));
}

}  // namespace
}  // namespace vesk
