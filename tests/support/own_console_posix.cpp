#include <unistd.h>

#include <csignal>

#include "platform/error.h"
#include "support/own_console.h"

namespace vesk::platform {

Result<int> run_in_own_console(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  if (::setpgid(0, 0) != 0) return last_error();
  // The program starts as any child does, with a broken pipe's default.
  std::signal(SIGPIPE, SIG_DFL);
  ::execv(program.c_str(), argv.data());
  return last_error();
}

}  // namespace vesk::platform
