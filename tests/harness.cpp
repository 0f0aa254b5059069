#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/fs.h"

namespace vesk::testing {

TempDir::TempDir() {
  auto made = platform::make_temp_dir("vesk-test-");
  if (!made) {
    ADD_FAILURE() << "no temporary folder: " << made.message();
    return;
  }
  path_ = *made;
}

TempDir::~TempDir() {
  if (!path_.empty()) platform::remove_tree(path_);
}

std::string built_program(const std::string& name) {
  auto self = platform::self_exe_path();
  if (!self) return name;
  std::string_view dir = platform::parent_folder(*self);
  return platform::join_path(dir.empty() ? "." : dir, name + platform::kExeSuffix);
}

Sandbox::Sandbox() : app_folder_(platform::join_path(dir_.path(), "Vesk")) {
  (void)platform::create_dirs(app_folder_);
}

platform::EnvChanges Sandbox::env() const {
  return {{"APPDATA", root()},
          {"USERPROFILE", std::nullopt},
          {"HOME", root()},
          {"XDG_CONFIG_HOME", std::nullopt},
          {"LOCALAPPDATA", std::nullopt},
          {"CLAUDE_CONFIG_DIR", std::nullopt},
          {"CODEX_HOME", std::nullopt},
          {"GEMINI_CLI_HOME", std::nullopt},
          {"QWEN_HOME", std::nullopt},
          {"COPILOT_HOME", std::nullopt},
          {"CLINE_DIR", std::nullopt}};
}

platform::CapturedRun Sandbox::vesk(const std::vector<std::string>& args,
                                    const std::string& input) const {
  auto run = platform::run_captured(built_program("vesk"), args, env(), input);
  if (!run) {
    ADD_FAILURE() << "vesk did not run: " << run.message();
    return {-1, "", ""};
  }
  return *run;
}

platform::CapturedRun Sandbox::run(const std::string& program,
                                   const std::vector<std::string>& args,
                                   const platform::EnvChanges& changes) const {
  platform::EnvChanges all = env();
  all.insert(all.end(), changes.begin(), changes.end());
  auto run = platform::run_captured(program, args, all);
  if (!run) {
    ADD_FAILURE() << program << " did not run: " << run.message();
    return {-1, "", ""};
  }
  return *run;
}

Result<platform::Child> Sandbox::start_vesk(const std::vector<std::string>& args) const {
  return platform::Child::start(built_program("vesk"), args, env());
}

std::vector<std::string> names_in(const std::string& folder) {
  auto names = platform::list_dir(folder);
  if (!names) return {};
  std::sort(names->begin(), names->end());
  return *names;
}

}  // namespace vesk::testing
