// The tools that `vesk mcp` offers agents: their catalogue as "tools/list"
// gives it, the request each call turns into, and the setup prompt.
//
// Calls are not checked against the schemas: the server forwards the
// arguments and the tray app judges them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/json.h"

namespace vesk::mcp {

// The twelve tool objects, in catalogue order. Built anew on every call;
// the content never changes.
Json tool_list();

// One app-link request: kind and payload.
struct ToolRequest {
  std::string kind;
  Json payload;
};

// The request that a call of tool `name` with `arguments` (any JSON value;
// anything but an object counts as {}) makes. Holds and releases carry
// `pid`, the MCP session's process id. nullopt for a name that is not a
// tool with a request (setup_prompt included: it is answered locally).
std::optional<ToolRequest> map_tool_call(std::string_view name, const Json& arguments,
                                         uint32_t pid);

// The text given out by the setup_prompt tool and `vesk prompt`.
std::string_view setup_prompt();

}  // namespace vesk::mcp
