// Environment variables, as UTF-8.
#pragma once

#include <optional>
#include <string>

namespace vesk::platform {

// The variable's value; nullopt when it is not set (an empty value is set).
std::optional<std::string> get_env(const char* name);

}  // namespace vesk::platform
