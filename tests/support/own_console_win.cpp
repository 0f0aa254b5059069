#include <windows.h>

#include "platform/error.h"
#include "platform/win_cmdline.h"
#include "platform/win_handle.h"
#include "support/own_console.h"

namespace vesk::platform {

Result<int> run_in_own_console(const std::string& program, const std::vector<std::string>& args) {
  std::vector<std::wstring> wide_args;
  for (const std::string& arg : args) wide_args.push_back(win::widen(arg));
  std::wstring wide_program = win::widen(program);
  TRY_ASSIGN(std::wstring line, win::program_command_line(wide_program, wide_args));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(wide_program.c_str(), line.data(), nullptr, nullptr, TRUE,
                      CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup,
                      &info)) {
    return last_error();
  }
  win::UniqueHandle process(info.hProcess);
  win::UniqueHandle thread(info.hThread);
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) return last_error();
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) return last_error();
  return static_cast<int>(code);
}

}  // namespace vesk::platform
