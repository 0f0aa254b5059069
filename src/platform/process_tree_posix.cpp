#include <fstream>
#include <sstream>

#include "platform/process_tree.h"

namespace vesk::platform {

std::optional<ProcessLink> process_link(uint32_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // "pid (comm) state ppid …": the name may hold spaces and parentheses, so
  // the fields are taken after the last ')'.
  size_t open = text.find('('), close = text.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return std::nullopt;
  std::istringstream rest(text.substr(close + 1));
  std::string state;
  uint64_t parent = 0;
  if (!(rest >> state >> parent)) return std::nullopt;
  ProcessLink link;
  link.parent = static_cast<uint32_t>(parent);
  link.name = text.substr(open + 1, close - open - 1);
  return link;
}

}  // namespace vesk::platform
