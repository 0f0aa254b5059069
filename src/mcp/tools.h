// The tools that `vesk mcp` offers agents: their catalogue as "tools/list"
// gives it (with a title and the behaviour hints that clients use to decide
// whether a call needs the user's approval), the request each call turns
// into, the setup prompt, and that prompt as the MCP prompt "setup".
//
// Calls are not checked against the schemas: the server forwards the
// arguments and the tray app judges them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/json.h"
#include "base/result.h"

namespace vesk::mcp {

// The tool objects, in catalogue order. Built anew on every call;
// the content never changes.
Json tool_list();

// One app-link request: kind and payload.
struct ToolRequest {
  std::string kind;
  Json payload;
};

// The request that a call of tool `name` with `arguments` (any JSON value;
// anything but an object counts as {}) makes. Holds and releases carry
// `pid`, the MCP session's process id. An error is a call refused without
// asking the tray app (its text goes back as an isError result), such as a
// release whose id is no hold id. nullopt for a name that is not a tool
// with a request (setup_prompt included: it is answered locally).
std::optional<Result<ToolRequest>> map_tool_call(std::string_view name, const Json& arguments,
                                                 uint32_t pid);

// The text given out by the setup_prompt tool and `vesk prompt`.
std::string_view setup_prompt();

// The name under which the setup prompt is offered as an MCP prompt.
inline constexpr std::string_view kSetupPromptName = "setup";

// The prompt objects of "prompts/list": the setup prompt alone.
Json prompt_list();

// The "prompts/get" result for the prompt `name`: its text as one user
// message. nullopt for a name that is not a prompt.
std::optional<Json> get_prompt(std::string_view name);

}  // namespace vesk::mcp
