#include "mcp/dispatch.h"

#include <string>

#include "mcp/tools.h"

namespace vesk::mcp {

namespace {

Json success(const Json& id, Json result) {
  Json out = Json::object();
  out["id"] = id;
  out["jsonrpc"] = "2.0";
  out["result"] = std::move(result);
  return out;
}

Json failure(const Json& id, int code, std::string message) {
  Json error = Json::object();
  error["code"] = code;
  error["message"] = std::move(message);
  Json out = Json::object();
  out["error"] = std::move(error);
  out["id"] = id;
  out["jsonrpc"] = "2.0";
  return out;
}

Json initialize_result(const Json* params) {
  const std::string* asked = params ? string_member(*params, "protocolVersion") : nullptr;
  Json capabilities = Json::object();
  capabilities["tools"] = Json::object();
  Json info = Json::object();
  info["name"] = std::string(kServerName);
  info["version"] = std::string(kServerVersion);
  Json out = Json::object();
  out["capabilities"] = std::move(capabilities);
  out["instructions"] = std::string(kInstructions);
  out["protocolVersion"] = asked ? *asked : std::string(kDefaultProtocolVersion);
  out["serverInfo"] = std::move(info);
  return out;
}

Json tool_result(std::string text, bool is_error) {
  Json item = Json::object();
  item["text"] = std::move(text);
  item["type"] = "text";
  Json out = Json::object();
  out["content"] = Json::array();
  out["content"].push_back(std::move(item));
  out["isError"] = is_error;
  return out;
}

Json call_tool(const Json& id, const Json* params, uint32_t pid, const RequestFn& request) {
  const std::string* name_member = params ? string_member(*params, "name") : nullptr;
  std::string name = name_member ? *name_member : std::string();
  if (name == "setup_prompt") return success(id, tool_result(std::string(setup_prompt()), false));

  const Json* given = params ? member(*params, "arguments") : nullptr;
  std::optional<ToolRequest> mapped =
      map_tool_call(name, given ? *given : Json::object(), pid);
  if (!mapped) return failure(id, kInvalidParams, "Unknown tool " + name);

  Result<Json> reply = request(mapped->kind, std::move(mapped->payload), kToolWaitSeconds);
  if (!reply) return success(id, tool_result(reply.message(), true));
  bool refused = bool_member(*reply, "ok") == std::optional<bool>(false);
  return success(id, tool_result(pretty_json(*reply), refused));
}

}  // namespace

Json parse_error_response() { return failure(nullptr, kParseError, "Parse error"); }

std::optional<Json> handle_message(const Json& message, uint32_t pid, const RequestFn& request) {
  const Json* id = member(message, "id");
  if (id == nullptr) return std::nullopt;
  const std::string* method_member = string_member(message, "method");
  std::string method = method_member ? *method_member : std::string();
  const Json* params = member(message, "params");

  if (method == "ping") return success(*id, Json::object());
  if (method == "initialize") return success(*id, initialize_result(params));
  if (method == "tools/list") {
    Json result = Json::object();
    result["tools"] = tool_list();
    return success(*id, std::move(result));
  }
  if (method == "tools/call") return call_tool(*id, params, pid, request);
  return failure(*id, kMethodNotFound, "Method not found: " + method);
}

std::optional<Json> handle_text(std::string_view text, uint32_t pid, const RequestFn& request) {
  std::optional<Json> value = parse_json(text);
  if (!value) return parse_error_response();
  if (!value->is_array()) return handle_message(*value, pid, request);

  Json responses = Json::array();
  for (const Json& element : *value) {
    if (std::optional<Json> response = handle_message(element, pid, request)) {
      responses.push_back(std::move(*response));
    }
  }
  if (responses.empty()) return std::nullopt;
  return responses;
}

}  // namespace vesk::mcp
