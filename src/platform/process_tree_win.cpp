#include "platform/process_tree.h"
// windows.h first: tlhelp32.h needs its types.
#include "platform/win_handle.h"

#include <tlhelp32.h>

namespace vesk::platform {

std::optional<ProcessLink> process_link(uint32_t pid) {
  win::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return std::nullopt;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID != pid) continue;
    ProcessLink link;
    link.parent = entry.th32ParentProcessID;
    link.name = win::narrow(entry.szExeFile);
    return link;
  }
  return std::nullopt;
}

}  // namespace vesk::platform
