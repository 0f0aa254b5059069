// The real HookSystem: the app link, session files under the app folder,
// the process tree.
#include <array>

#include "base/json.h"
#include "hooks/hook.h"
#include "ipc/app_link.h"
#include "ipc/liveness.h"
#include "platform/env.h"
#include "platform/file_lock.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/process_tree.h"

namespace vesk::hooks {

namespace {

// The log keeps its last lines within this size.
constexpr size_t kLogBytes = 64 * 1024;
// How long a call waits for another call of the same session.
constexpr unsigned kLockWaitMs = 800;

// What starts a hook without being the agent: shells and launchers.
bool is_shell(std::string name) {
  for (char& c : name) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (name.size() > 4 && name.ends_with(".exe")) name.resize(name.size() - 4);
  static constexpr std::array<std::string_view, 12> kShells{
      "sh", "bash", "dash", "zsh", "fish", "ksh", "cmd", "powershell", "pwsh", "env", "nohup",
      "timeout"};
  for (std::string_view shell : kShells) {
    if (name == shell) return true;
  }
  return false;
}

class SessionFile final : public HookSystem::Session {
 public:
  SessionFile(platform::FileLock lock, std::string path)
      : lock_(std::move(lock)), path_(std::move(path)) {}
  std::optional<std::string> read() override {
    auto text = platform::read_file(path_);
    return text ? std::optional<std::string>(std::move(*text)) : std::nullopt;
  }
  Status write(std::string_view text) override { return platform::write_file_atomic(path_, text); }
  void remove() override {
    // A session that is gone has nothing left to say if this fails: the
    // next start of an agent forgets it when its process has ended.
    (void)platform::remove_file(path_);
  }

 private:
  platform::FileLock lock_;
  std::string path_;
};

class SystemHooks final : public HookSystem {
 public:
  explicit SystemHooks(std::string app_folder)
      : app_folder_(std::move(app_folder)), folder_(platform::join_path(app_folder_, "hooks")) {}

  bool app_running() override { return ipc::app_alive(app_folder_); }

  Result<Json> request(std::string_view kind, const Json& payload) override {
    // Within a second in all, start-up included.
    return ipc::app_request(app_folder_, kind, payload, 1, ipc::TimeUnit{900});
  }

  int64_t now() override { return static_cast<int64_t>(ipc::unix_now()); }

  uint32_t agent_pid(const HookAgent& agent) override {
    if (!agent.pid_variable.empty()) {
      std::string name(agent.pid_variable);
      if (auto value = platform::get_env(name.c_str())) {
        char* end = nullptr;
        unsigned long pid = std::strtoul(value->c_str(), &end, 10);
        if (end != value->c_str() && *end == '\0' && pid > 0 && pid <= UINT32_MAX &&
            platform::process_start_time(static_cast<uint32_t>(pid))) {
          return static_cast<uint32_t>(pid);
        }
      }
    }
    auto self = platform::process_link(platform::current_pid());
    uint32_t pid = self ? self->parent : 0;
    for (int depth = 0; pid > 1 && depth < 16; ++depth) {
      auto link = platform::process_link(pid);
      if (!link) return 0;
      if (!is_shell(link->name)) return pid;
      pid = link->parent;
    }
    return 0;
  }

  Result<std::unique_ptr<Session>> open_session(const std::string& key) override {
    TRY(platform::create_dirs(folder_));
    auto lock = platform::FileLock::acquire(platform::join_path(folder_, key + ".lock"), kLockWaitMs);
    if (!lock) return Error{"couldn't lock the session: " + lock.message()};
    return std::unique_ptr<Session>(
        new SessionFile(std::move(*lock), platform::join_path(folder_, key + ".json")));
  }

  void prune() override {
    auto names = platform::list_dir(folder_);
    if (!names) return;
    for (const std::string& name : *names) {
      if (!name.ends_with(".json")) continue;
      const std::string path = platform::join_path(folder_, name);
      auto text = platform::read_file(path);
      if (!text) continue;
      Json doc = Json::parse(*text, nullptr, false);
      auto pid = doc.is_object() ? doc.find("pid") : doc.end();
      if (doc.is_object() && pid != doc.end() && pid->is_number_unsigned() &&
          platform::process_start_time(pid->get<uint32_t>())) {
        continue;
      }
      // Its agent has ended, and the tray app ended its hold with it; a
      // file that stays is tried again at the next start.
      (void)platform::remove_file(path);
      (void)platform::remove_file(path.substr(0, path.size() - 5) + ".lock");
    }
  }

  void log(std::string_view line) override {
    const std::string path = platform::join_path(app_folder_, "hook.log");
    std::string text = platform::read_file(path).value_or(std::string());
    if (text.size() > kLogBytes) {
      // The older half goes, from a line's start.
      size_t cut = text.find('\n', text.size() - kLogBytes / 2);
      text.erase(0, cut == std::string::npos ? text.size() : cut + 1);
    }
    text += std::to_string(ipc::unix_now()) + " " + std::string(line) + "\n";
    // Nobody to tell when the log itself can't be written.
    (void)platform::write_file_atomic(path, text);
  }

 private:
  std::string app_folder_;
  std::string folder_;
};

}  // namespace

std::unique_ptr<HookSystem> system_hooks(const std::string& app_folder) {
  return std::make_unique<SystemHooks>(app_folder);
}

}  // namespace vesk::hooks
