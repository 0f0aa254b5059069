// The name `Json` alone, for headers that only pass JSON values around:
// the library's forward declarations instead of all of it. Code that
// builds, reads or copies values includes base/json.h.
#pragma once

#include <nlohmann/json_fwd.hpp>

namespace vesk {

using Json = nlohmann::json;

}  // namespace vesk
