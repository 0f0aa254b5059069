#include <cstdlib>

#include "platform/env.h"

namespace vesk::platform {

std::optional<std::string> get_env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace vesk::platform
