// The app link as a value: what the front end and the MCP server are given
// to reach the tray app, so that tests can hand them a fake.
#pragma once

#include <functional>
#include <string_view>

#include "base/json_fwd.h"
#include "base/result.h"

namespace vesk::ipc {

// Sends one request to the tray app: kind, payload, wait limit in whole
// seconds; the reply value or a one-line message (app_request's contract).
using RequestFn = std::function<Result<Json>(std::string_view, Json, unsigned)>;

}  // namespace vesk::ipc
