// A temporary user profile for the tests of `connect`: the agents'
// configuration files in it and what `vesk` should write there.
#pragma once

#include <string>
#include <vector>

#include "harness.h"

namespace vesk::testing {

struct AgentProfile {
  AgentProfile();

  Sandbox sandbox;
  std::string profile;  // USERPROFILE: a folder with a space and a non-ASCII letter
  std::string program;  // the `vesk` that runs
  std::string command;  // what agents are told to start

  std::string claude() const;         // .claude.json
  std::string claude_backup() const;  // .claude.json.vesk-backup
  std::string codex_folder() const;   // .codex
  std::string codex() const;          // .codex/config.toml
  std::string codex_backup() const;   // .codex/config.toml.vesk-backup

  // Runs `program` with USERPROFILE set to `profile`.
  platform::CapturedRun vesk(const std::vector<std::string>& args) const;

  // The file's bytes; "<missing>" when it cannot be read.
  static std::string read(const std::string& path);

  // The "vesk" member as a new member of a file laid out on lines, each line
  // starting with `indent`, without a line break at the end.
  std::string claude_entry(const std::string& indent) const;
  // A .claude.json made from nothing.
  std::string claude_file() const;
  // The "vesk" member added to a file on one line.
  std::string claude_inline() const;
  // The table appended to config.toml.
  std::string codex_table() const;

  // Copies the built `vesk` to <sandbox>/<folder>/<name> and runs that copy
  // from now on. False when the copy failed.
  bool use_copy(const std::string& folder, const std::string& name);
};

}  // namespace vesk::testing
