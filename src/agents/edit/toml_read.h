// TOML documents read the way Codex reads its config.toml: the whole text by
// a TOML 1.0 parser (toml++), any error refusing all of it.
#pragma once

#include <string_view>

#include "base/json_fwd.h"
#include "base/result.h"

namespace vesk::agents::edit {

// The whole text parsed as TOML 1.0, its data as JSON so that two
// documents can be compared: tables as objects, arrays, strings, 64-bit
// integers, floats and booleans as themselves; dates and times as tagged
// strings ("date:1979-05-27", "time:07:32:00", "datetime-local:...",
// "datetime:1979-05-27T07:32:00Z"), and a NaN as the string "float:nan", so
// that equal documents compare equal.
// Fails with a phrase that follows the file's name: " isn't UTF-8 text, so
// I left it alone", or " isn't valid TOML (line 3, column 7: <the parser's
// description>), so I left it alone".
Result<Json> toml_document(std::string_view text);

}  // namespace vesk::agents::edit
