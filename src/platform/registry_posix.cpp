#include "platform/registry.h"

namespace vesk::platform {

Status delete_user_key_tree(const std::string&) { return {}; }

Status delete_user_value(const std::string&, const std::string&) { return {}; }

}  // namespace vesk::platform
