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

Json failure(const Json& id, int code, std::string message, Json data = nullptr) {
  Json error = Json::object();
  error["code"] = code;
  if (!data.is_null()) error["data"] = std::move(data);
  error["message"] = std::move(message);
  Json out = Json::object();
  out["error"] = std::move(error);
  out["id"] = id;
  out["jsonrpc"] = "2.0";
  return out;
}

Json server_info() {
  Json info = Json::object();
  info["name"] = std::string(kServerName);
  info["version"] = std::string(kServerVersion);
  return info;
}

Json server_capabilities() {
  Json capabilities = Json::object();
  capabilities["prompts"] = Json::object();
  capabilities["tools"] = Json::object();
  return capabilities;
}

Json invalid_request(const Json& id, std::string_view why) {
  return failure(id, kInvalidRequest, "Invalid Request: " + std::string(why));
}

bool handshake_version(const std::string& version) {
  for (std::string_view served : kHandshakeVersions) {
    if (version == served) return true;
  }
  return false;
}

// The version asked for when this server serves it; any other string gets
// the newest handshake version, since answering a version the server does
// not implement would tell the client a falsehood.
std::string_view agreed_version(const Json* params) {
  const std::string* asked = params ? string_member(*params, "protocolVersion") : nullptr;
  if (asked == nullptr) return kDefaultProtocolVersion;
  if (handshake_version(*asked)) return *asked;
  return kNewestHandshakeVersion;
}

Json initialize_result(const Json* params) {
  Json out = Json::object();
  out["capabilities"] = server_capabilities();
  out["instructions"] = std::string(kInstructions);
  out["protocolVersion"] = std::string(agreed_version(params));
  out["serverInfo"] = server_info();
  return out;
}

Json supported_versions() {
  Json out = Json::array();
  out.push_back(std::string(kStatelessVersion));
  for (std::string_view version : kHandshakeVersions) out.push_back(std::string(version));
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

// The string params.`key`, else "".
std::string string_param(const Json* params, std::string_view key) {
  const std::string* name = params ? string_member(*params, key) : nullptr;
  return name ? *name : std::string();
}

Json call_tool(const Json& id, const Json* params, uint32_t pid, const RequestFn& request) {
  std::string name = string_param(params, "name");
  if (name == "setup_prompt") return success(id, tool_result(std::string(setup_prompt()), false));

  const Json* given = params ? member(*params, "arguments") : nullptr;
  std::optional<Result<ToolRequest>> mapped =
      map_tool_call(name, given ? *given : Json::object(), pid);
  if (!mapped) return failure(id, kInvalidParams, "Unknown tool " + name);
  if (!*mapped) return success(id, tool_result(mapped->message(), true));

  ToolRequest& call = mapped->value();
  Result<Json> reply = request(call.kind, std::move(call.payload), kToolWaitSeconds);
  if (!reply) return success(id, tool_result(reply.message(), true));
  bool refused = bool_member(*reply, "ok") == std::optional<bool>(false);
  Json result = tool_result(pretty_json(*reply), refused);
  // The reply as data too, for clients that read results as objects; the
  // text stays for those that show it.
  if (!refused && reply->is_object()) result["structuredContent"] = std::move(*reply);
  return success(id, std::move(result));
}

Json get_prompt_response(const Json& id, const Json* params) {
  std::string name = string_param(params, "name");
  std::optional<Json> prompt = get_prompt(name);
  if (!prompt) return failure(id, kInvalidParams, "Unknown prompt " + name);
  return success(id, std::move(*prompt));
}

// A stateless result: the result type and the server's identity added.
Json stateless(Json result) {
  result["_meta"] = Json::object();
  result["_meta"][std::string(kServerInfoKey)] = server_info();
  result["resultType"] = "complete";
  return result;
}

Json discover_result() {
  Json out = Json::object();
  out["cacheScope"] = "public";
  out["capabilities"] = server_capabilities();
  out["instructions"] = std::string(kInstructions);
  out["serverInfo"] = server_info();
  out["supportedVersions"] = supported_versions();
  out["ttlMs"] = kCacheTtlMs;
  return stateless(std::move(out));
}

// The error for a stateless request whose _meta this server cannot serve,
// or nullopt when it can.
std::optional<Json> meta_fault(const Json& id, const Json* meta) {
  const Json* version = meta ? member(*meta, kProtocolVersionKey) : nullptr;
  if (version == nullptr) {
    return failure(id, kInvalidParams, "Missing _meta " + std::string(kProtocolVersionKey));
  }
  if (!version->is_string()) {
    return failure(id, kInvalidParams,
                   "_meta " + std::string(kProtocolVersionKey) + " is not a string");
  }
  if (version->get_ref<const std::string&>() != kStatelessVersion) {
    Json data = Json::object();
    data["requested"] = *version;
    data["supported"] = supported_versions();
    return failure(id, kUnsupportedProtocolVersion, "Unsupported protocol version",
                   std::move(data));
  }
  const Json* capabilities = member(*meta, kClientCapabilitiesKey);
  if (capabilities == nullptr) {
    return failure(id, kInvalidParams, "Missing _meta " + std::string(kClientCapabilitiesKey));
  }
  if (!capabilities->is_object()) {
    return failure(id, kInvalidParams,
                   "_meta " + std::string(kClientCapabilitiesKey) + " is not an object");
  }
  return std::nullopt;
}

Json handle_stateless(const Json& id, const std::string& method, const Json* params,
                      const Json* meta, uint32_t pid, const RequestFn& request) {
  if (std::optional<Json> fault = meta_fault(id, meta)) return std::move(*fault);
  if (method == "server/discover") return success(id, discover_result());
  if (method == "tools/list" || method == "prompts/list") {
    Json result = Json::object();
    result["cacheScope"] = "public";
    if (method == "tools/list") {
      result["tools"] = tool_list();
    } else {
      result["prompts"] = prompt_list();
    }
    result["ttlMs"] = kCacheTtlMs;
    return success(id, stateless(std::move(result)));
  }
  if (method == "tools/call" || method == "prompts/get") {
    Json response = method == "tools/call" ? call_tool(id, params, pid, request)
                                           : get_prompt_response(id, params);
    auto result = response.find("result");
    if (result != response.end()) *result = stateless(std::move(*result));
    return response;
  }
  return failure(id, kMethodNotFound, "Method not found: " + method);
}

}  // namespace

Json parse_error_response() { return failure(nullptr, kParseError, "Parse error"); }

std::optional<Json> handle_message(const Json& message, uint32_t pid, const RequestFn& request) {
  if (!message.is_object()) return invalid_request(nullptr, "not a JSON object");
  const Json* id = member(message, "id");
  if (id == nullptr) return std::nullopt;
  // An id that is not a plain value cannot be echoed back as the client's.
  if (id->is_object() || id->is_array()) {
    return invalid_request(nullptr, "id is an object or an array");
  }
  const std::string* method_member = string_member(message, "method");
  if (method_member == nullptr) return invalid_request(*id, "method is missing or not a string");
  const std::string& method = *method_member;
  const Json* params = member(message, "params");
  const Json* meta = params ? member(*params, "_meta") : nullptr;

  if (method == "server/discover" || (meta && member(*meta, kProtocolVersionKey))) {
    return handle_stateless(*id, method, params, meta, pid, request);
  }
  if (method == "ping") return success(*id, Json::object());
  if (method == "initialize") return success(*id, initialize_result(params));
  if (method == "tools/list") {
    Json result = Json::object();
    result["tools"] = tool_list();
    return success(*id, std::move(result));
  }
  if (method == "tools/call") return call_tool(*id, params, pid, request);
  if (method == "prompts/list") {
    Json result = Json::object();
    result["prompts"] = prompt_list();
    return success(*id, std::move(result));
  }
  if (method == "prompts/get") return get_prompt_response(*id, params);
  return failure(*id, kMethodNotFound, "Method not found: " + method);
}

std::optional<Json> handle_text(std::string_view text, uint32_t pid, const RequestFn& request) {
  std::optional<Json> value = parse_json(text);
  if (!value) return parse_error_response();
  if (!value->is_array()) return handle_message(*value, pid, request);
  if (value->empty()) return invalid_request(nullptr, "an empty batch");

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
