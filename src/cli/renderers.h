// The text renderings of the tray app's replies. They never fail: a member
// that is missing or of another type takes the renderer's default.
#pragma once

#include <string>

#include "base/json_fwd.h"

namespace vesk::cli {

// A value as its compact JSON text: 87, 87.5, 87.0, "text", null.
std::string json_text(const Json& value);

std::string render_status(const Json& reply);
std::string render_hold(const Json& reply);
std::string render_release(const Json& reply);
std::string render_settings(const Json& reply);
std::string render_power(const Json& reply);
std::string render_energy(const Json& reply);
std::string render_config(const Json& reply);

}  // namespace vesk::cli
