// The watchdog: a per-user scheduled task that starts the tray app in its
// watchdog mode once a minute, so that what Vesk changed is put back even
// if the tray app dies. Also the hidden runner of system tools that the
// task commands use, and the product's other registrations: their names,
// and taking them away with the task.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "platform/system_tool.h"

namespace vesk::care {

inline constexpr char kTaskName[] = "Vesk Watchdog";
inline constexpr char kTaskTool[] = "schtasks.exe";
inline constexpr char kTaskProgram[] = "vesk-app.exe";
inline constexpr char kLoginItemKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kLoginItemValue[] = "Vesk";
inline constexpr char kAppIdentityKey[] = "Software\\Classes\\AppUserModelId\\Vesk.App";
inline constexpr char kInstalledMarker[] = "installed";

// `text` with "&", "<", ">", '"' and "'" written as XML entities, "&" first
// so that no entity is escaped twice.
std::string xml_escape(std::string_view text);

// The task definition (UTF-8 text) that runs `program` with "watchdog".
std::string task_definition(std::string_view program);

// The UTF-16 little-endian bytes of `text` after the FF FE mark; ill-formed
// UTF-8 becomes U+FFFD.
std::string utf16le_with_mark(std::string_view text);

// "vesk-task-<pid>.xml" in `temp_folder`.
std::string definition_path(const std::string& temp_folder, uint32_t pid);

// What a finished tool run means: its standard output (as
// platform::tool_text reads it) when it exited with 0, else "<program>: " + its trimmed
// standard error + its trimmed standard output ("exited with status N" when
// both are empty).
Result<std::string> tool_outcome(std::string_view program, const platform::ToolOutput& run);

// Runs a system tool hidden, see platform::run_hidden_tool; a tool that
// cannot be started gives "<program>: <system text>".
Result<std::string> run_system_tool(const std::string& program,
                                    const std::vector<std::string>& args);

// Where the watchdog's work reaches the system, so that tests can watch it.
class WatchdogSystem {
 public:
  virtual ~WatchdogSystem() = default;
  virtual Result<std::string> self_exe_path() = 0;
  virtual bool file_exists(const std::string& path) = 0;
  virtual Result<std::string> temp_folder() = 0;
  virtual uint32_t pid() = 0;
  virtual Status write_new_file(const std::string& path, std::string_view bytes) = 0;
  virtual Result<std::string> run_system_tool(const std::string& program,
                                              const std::vector<std::string>& args) = 0;
  virtual Status remove_file(const std::string& path) = 0;
  // What remove_registrations takes away. Each succeeds when the item is
  // gone afterwards, also when it was not there.
  virtual Status delete_scheduled_task(const std::string& name) = 0;  // by the scheduler itself
  virtual Status delete_user_key_tree(const std::string& subkey) = 0;
  virtual Status delete_user_value(const std::string& subkey, const std::string& name) = 0;
  virtual Status delete_file(const std::string& path) = 0;
};

WatchdogSystem& real_watchdog_system();

// Registers the task, replacing one of the same name: the program is
// vesk-app.exe beside the running program when it exists, else the running
// program. The definition file is removed again whatever happens.
Status install_watchdog(WatchdogSystem& system);
Status install_watchdog();

// The task is registered: the task tool's query of it succeeds.
bool watchdog_installed(WatchdogSystem& system);
bool watchdog_installed();

// Takes away, in this order, the task, the application identity key tree,
// the login item value and the installed marker in `app_folder`. The task
// goes through its tool; when that fails (as it does also for a task that
// is not there, and without a word when the tool is slow to reach the
// scheduler), the scheduler itself is asked, which tells the two apart.
// One line for each item still there afterwards, what it is and why
// ("<item>: <reason>"); none when all are gone. An item that was not there
// counts as removed.
std::vector<std::string> remove_registrations(WatchdogSystem& system,
                                              const std::string& app_folder);
std::vector<std::string> remove_registrations(const std::string& app_folder);

}  // namespace vesk::care
