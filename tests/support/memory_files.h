// The agents' files in memory, for tests of what the registrar decides: no
// disk, every version numbered, backups kept as the real files keep them.
// It is also the probe an agent is located with: a folder is there when a
// file is in it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agents/catalogue.h"
#include "agents/registrar.h"

namespace vesk::testing {

class MemoryFiles final : public agents::AgentFiles, public agents::FileProbe {
 public:
  // A file's version stamp is its version number as text; no file has "".
  Result<agents::FileVersion> read(const std::string& path) override;
  // As the real files: false (nothing written, no backup) when the file is
  // no longer `old`; otherwise the bytes of `old`, unless there were none or
  // they were empty, kept first as "<path>.vesk-backup", or "-2", "-3"…
  // after the highest there is. A new file gets `mode` (0644 without one).
  Result<bool> write(const std::string& path, std::string_view text,
                     const agents::FileVersion& old,
                     std::optional<uint32_t> mode = std::nullopt) override;
  // As the real files: true when gone, false when changed since `old`.
  Result<bool> remove(const std::string& path, const agents::FileVersion& old) override;

  // A file, or a folder that holds one.
  bool exists(const std::string& path) const override;
  // The names of the files and folders right in `folder`, sorted.
  std::vector<std::string> list(const std::string& folder) const override;

  // Sets the file to `text` as a user's editor would (a new version).
  void put(const std::string& path, std::string_view text);
  // The file's bytes; nullopt when there is none.
  std::optional<std::string> text(const std::string& path) const;
  // The file's permission bits; nullopt when there is none.
  std::optional<uint32_t> mode(const std::string& path) const;
  // Every file there is, sorted.
  std::vector<std::string> names() const;

  // The next `count` writes lose to another program: right before each,
  // the file is set to `others(n)`, n the number of that write (from 1).
  void lose_next_writes(int count, std::function<std::string(int)> others);
  // Reads of `path` fail with `message` until cleared (an empty message).
  void fail_reads(const std::string& path, std::string message);
  // How many writes were asked for, lost ones included.
  int writes() const { return writes_; }

 private:
  struct File {
    std::string bytes;
    uint32_t mode = 0644;
    uint64_t version = 0;
  };
  bool still(const std::string& path, const agents::FileVersion& old) const;

  std::map<std::string, File> files_;
  std::map<std::string, std::string> failing_reads_;
  std::function<std::string(int)> others_;
  int losses_left_ = 0;
  int writes_ = 0;
  uint64_t last_version_ = 0;
};

}  // namespace vesk::testing
