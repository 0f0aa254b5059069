#include "base/utf8.h"
#include "platform/system_tool.h"

namespace vesk::platform {

std::string legacy_tool_text(std::string_view bytes) { return decode_lossy(bytes); }

}  // namespace vesk::platform
