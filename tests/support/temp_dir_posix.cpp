#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/error.h"
#include "platform/fs.h"
#include "support/temp_dir.h"

namespace vesk::platform {

Result<std::string> make_temp_dir(std::string_view prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string templ = join_path(base && *base ? base : "/tmp", std::string(prefix) + "XXXXXX");
  if (::mkdtemp(templ.data()) == nullptr) return last_error();
  return templ;
}

void remove_tree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

}  // namespace vesk::platform
