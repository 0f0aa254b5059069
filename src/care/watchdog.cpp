#include "care/watchdog.h"

#include "base/text.h"
#include "base/utf8.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/task_scheduler.h"
#include "platform/temp_file.h"

namespace vesk::care {

namespace {

constexpr std::string_view kDefinitionHead =
    "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
    "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
    "  <RegistrationInfo><Description>Puts apps and power settings back if Vesk stops "
    "unexpectedly.</Description></RegistrationInfo>\n"
    "  <Triggers>\n"
    "    <TimeTrigger>\n"
    "      <StartBoundary>2025-01-01T00:00:00</StartBoundary>\n"
    "      <Enabled>true</Enabled>\n"
    "      <Repetition><Interval>PT1M</Interval><StopAtDurationEnd>false</StopAtDurationEnd>"
    "</Repetition>\n"
    "    </TimeTrigger>\n"
    "  </Triggers>\n"
    "  <Principals><Principal id=\"Author\"><LogonType>InteractiveToken</LogonType>"
    "<RunLevel>LeastPrivilege</RunLevel></Principal></Principals>\n"
    "  <Settings>\n"
    "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
    "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
    "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
    "    <StartWhenAvailable>true</StartWhenAvailable>\n"
    "    <RunOnlyIfNetworkAvailable>false</RunOnlyIfNetworkAvailable>\n"
    "    <IdleSettings><StopOnIdleEnd>false</StopOnIdleEnd><RestartOnIdle>false</RestartOnIdle>"
    "</IdleSettings>\n"
    "    <AllowStartOnDemand>true</AllowStartOnDemand>\n"
    "    <Enabled>true</Enabled>\n"
    "    <Hidden>true</Hidden>\n"
    "    <ExecutionTimeLimit>PT1M</ExecutionTimeLimit>\n"
    "    <Priority>7</Priority>\n"
    "  </Settings>\n"
    "  <Actions Context=\"Author\"><Exec><Command>";
constexpr std::string_view kDefinitionTail =
    "</Command><Arguments>watchdog</Arguments></Exec></Actions>\n"
    "</Task>\n";

class RealWatchdogSystem final : public WatchdogSystem {
 public:
  Result<std::string> self_exe_path() override { return platform::self_exe_path(); }
  bool file_exists(const std::string& path) override { return platform::file_exists(path); }
  Result<std::string> temp_folder() override { return platform::temp_folder(); }
  uint32_t pid() override { return platform::current_pid(); }
  Status write_new_file(const std::string& path, std::string_view bytes) override {
    return platform::write_new_file(path, bytes);
  }
  Result<std::string> run_system_tool(const std::string& program,
                                      const std::vector<std::string>& args) override {
    return care::run_system_tool(program, args);
  }
  Status remove_file(const std::string& path) override { return platform::remove_file(path); }
  Status delete_scheduled_task(const std::string& name) override {
    return platform::delete_scheduled_task(name);
  }
  Status delete_user_key_tree(const std::string& subkey) override {
    return platform::delete_user_key_tree(subkey);
  }
  Status delete_user_value(const std::string& subkey, const std::string& name) override {
    return platform::delete_user_value(subkey, name);
  }
  Status delete_file(const std::string& path) override {
    Status removed = platform::remove_file(path);
    if (removed || platform::file_absent(path)) return {};
    return removed;
  }
};

}  // namespace

std::string xml_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string task_definition(std::string_view program) {
  std::string text(kDefinitionHead);
  text += xml_escape(decode_lossy(program));
  text += kDefinitionTail;
  return text;
}

std::string utf16le_with_mark(std::string_view text) {
  std::u16string units = utf8_to_utf16(text);
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + units.size() * 2);
  for (char16_t u : units) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

std::string definition_path(const std::string& temp_folder, uint32_t pid) {
  return platform::join_path(temp_folder, "vesk-task-" + std::to_string(pid) + ".xml");
}

Result<std::string> tool_outcome(std::string_view program, const platform::ToolOutput& run) {
  if (run.exit_code == 0) return platform::tool_text(run.out);
  std::string words = std::string(trim(platform::tool_text(run.err))) +
                      std::string(trim(platform::tool_text(run.out)));
  // A tool that failed without a word still says that it failed.
  if (words.empty()) words = "exited with status " + std::to_string(run.exit_code);
  return Error{std::string(program) + ": " + words};
}

Result<std::string> run_system_tool(const std::string& program,
                                    const std::vector<std::string>& args) {
  auto run = platform::run_hidden_tool(program, args);
  if (!run) return Error{program + ": " + run.message()};
  return tool_outcome(program, *run);
}

WatchdogSystem& real_watchdog_system() {
  static RealWatchdogSystem system;
  return system;
}

Status install_watchdog(WatchdogSystem& system) {
  TRY_ASSIGN(std::string self, system.self_exe_path());
  std::string_view folder = platform::parent_folder(self);
  std::string app = platform::join_path(folder.empty() ? "." : folder, kTaskProgram);
  std::string program = system.file_exists(app) ? app : self;

  std::string bytes = utf16le_with_mark(task_definition(program));
  TRY_ASSIGN(std::string temp, system.temp_folder());
  std::string path = definition_path(temp, system.pid());
  Status written = system.write_new_file(path, bytes);
  if (!written) {
    // Nothing of ours can be there: the name was refused or never created.
    return written;
  }
  auto registered = system.run_system_tool(
      kTaskTool, {"/Create", "/F", "/TN", kTaskName, "/XML", path});
  // Tidying only: a definition left in the temporary folder changes nothing,
  // and the registration's outcome is the one to report.
  (void)system.remove_file(path);
  if (!registered) return registered.error();
  return {};
}

Status install_watchdog() { return install_watchdog(real_watchdog_system()); }

bool watchdog_installed(WatchdogSystem& system) {
  return system.run_system_tool(kTaskTool, {"/Query", "/TN", kTaskName}).ok();
}

bool watchdog_installed() { return watchdog_installed(real_watchdog_system()); }

std::vector<std::string> remove_registrations(WatchdogSystem& system,
                                              const std::string& app_folder) {
  std::vector<std::string> left;
  auto note = [&](const std::string& what, const Status& removed) {
    if (!removed) left.push_back(what + ": " + removed.message());
  };
  auto task = system.run_system_tool(kTaskTool, {"/Delete", "/F", "/TN", kTaskName});
  if (!task) {
    note("the watchdog task \"" + std::string(kTaskName) + "\"",
         system.delete_scheduled_task(kTaskName));
  }
  note(std::string("HKEY_CURRENT_USER\\") + kAppIdentityKey,
       system.delete_user_key_tree(kAppIdentityKey));
  note(std::string("HKEY_CURRENT_USER\\") + kLoginItemKey + " value " + kLoginItemValue,
       system.delete_user_value(kLoginItemKey, kLoginItemValue));
  std::string marker = platform::join_path(app_folder, kInstalledMarker);
  note(marker, system.delete_file(marker));
  return left;
}

std::vector<std::string> remove_registrations(const std::string& app_folder) {
  return remove_registrations(real_watchdog_system(), app_folder);
}

}  // namespace vesk::care
