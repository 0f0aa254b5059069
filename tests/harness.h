// Test helpers: a temporary app folder and the built programs.
#pragma once

#include <string>
#include <vector>

#include "platform/spawn.h"
#include "support/child.h"
#include "support/temp_dir.h"

namespace vesk::testing {

// A fresh temporary folder, deleted with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A program built beside the test binary ("vesk", "vesk-standin"), with the
// platform's executable suffix.
std::string built_program(const std::string& name);

// A temporary APPDATA for child processes: the app folder is <root>/Vesk.
class Sandbox {
 public:
  Sandbox();
  const std::string& root() const { return dir_.path(); }
  const std::string& app_folder() const { return app_folder_; }
  // The child environment: APPDATA and HOME set to root; USERPROFILE,
  // XDG_CONFIG_HOME and the agents' own folder variables removed.
  platform::EnvChanges env() const;
  // Runs the built `vesk` with these arguments in the sandbox.
  platform::CapturedRun vesk(const std::vector<std::string>& args,
                             const std::string& input = {}) const;
  // Runs `program` in the sandbox with `changes` applied on top of env()
  // (USERPROFILE set, say).
  platform::CapturedRun run(const std::string& program, const std::vector<std::string>& args,
                            const platform::EnvChanges& changes) const;
  // Starts `vesk` without waiting for it.
  Result<platform::Child> start_vesk(const std::vector<std::string>& args) const;

 private:
  TempDir dir_;
  std::string app_folder_;
};

// The names in a folder, sorted; empty when it cannot be read.
std::vector<std::string> names_in(const std::string& folder);

}  // namespace vesk::testing
