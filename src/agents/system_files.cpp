// The real files behind AgentFiles.
#include "agents/registrar.h"

#include "base/utf8.h"
#include "platform/fs.h"

namespace vesk::agents {

namespace {

class SystemFiles final : public AgentFiles {
 public:
  Result<FileVersion> read(const std::string& path) override {
    auto bytes = platform::read_file(path);
    if (bytes) return FileVersion{std::move(*bytes), {}};
    if (!platform::file_exists(path)) return FileVersion{};
    return Error{"couldn't read " + decode_lossy(path) + ": " + bytes.message()};
  }

  Result<bool> write(const std::string& path, std::string_view text,
                     const FileVersion& version) override {
    const std::optional<std::string>& old = version.bytes;
    const std::string shown = decode_lossy(path);
    auto target = platform::link_target(path);
    if (!target) return Error{"couldn't follow the link " + shown + ": " + target.message()};
    if (std::string folder(platform::parent_folder(*target)); !folder.empty()) {
      if (auto made = platform::create_dirs(folder); !made) {
        return Error{"couldn't create the folder " + decode_lossy(folder) + ": " + made.message()};
      }
    }
    if (old && !old->empty()) {
      std::string backup = free_backup(path);
      if (auto saved = write_config_file(backup, *old, *target); !saved) {
        return Error{"couldn't back up " + shown + " to " + decode_lossy(backup) + ": " +
                     saved.message()};
      }
    }
    if (auto written = write_config_file(*target, text); !written) {
      return Error{"couldn't write " + shown + ": " + written.message()};
    }
    return true;
  }

 private:
  // "<file>.vesk-backup", else the first free "<file>.vesk-backup-<n>".
  static std::string free_backup(const std::string& path) {
    std::string base = path + ".vesk-backup";
    if (!platform::file_exists(base)) return base;
    for (int n = 2;; ++n) {
      std::string next = base + "-" + std::to_string(n);
      if (!platform::file_exists(next)) return next;
    }
  }
};

}  // namespace

AgentFiles& system_files() {
  static SystemFiles files;
  return files;
}

}  // namespace vesk::agents
