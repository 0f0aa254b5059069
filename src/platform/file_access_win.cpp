#include "platform/file_access.h"

namespace vesk::platform {

Status copy_access(const std::string&, const std::string&) { return {}; }

}  // namespace vesk::platform
