// Parsing files that other programs write, for typed records.
#pragma once

#include <optional>
#include <string_view>

#include "base/json_fwd.h"

namespace vesk {

// parse_json (one document, nothing after it, parseable_json_text), and
// moreover: nullopt when any object holds the same key twice, or when arrays
// and objects nest deeper than `max_depth` (checked before parsing).
std::optional<Json> parse_strict_json(std::string_view text, int max_depth);

}  // namespace vesk
