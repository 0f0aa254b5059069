#include "hooks/hook.h"

#include <cstdio>

#include "base/json.h"
#include "hooks/session.h"

namespace vesk::hooks {

namespace {

// FNV-1a, 64 bits: a file name for any session id, however it is spelled.
uint64_t fnv1a(std::string_view text) {
  uint64_t hash = 14695981039346656037ull;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string reason_for(const HookEvent& event) {
  std::string reason = std::string(event.agent->display) + " is working";
  if (!event.folder.empty()) reason += " in " + event.folder;
  return reason;
}

// The id in a "hold" reply: {"hold": {"id": "…"}}.
std::optional<std::string> hold_id(const Json& reply) {
  if (!reply.is_object()) return std::nullopt;
  auto ok = reply.find("ok");
  if (ok != reply.end() && *ok == false) return std::nullopt;
  auto hold = reply.find("hold");
  if (hold == reply.end() || !hold->is_object()) return std::nullopt;
  auto id = hold->find("id");
  if (id == hold->end() || !id->is_string()) return std::nullopt;
  return id->get<std::string>();
}

std::string reply_error(const Json& reply) {
  if (reply.is_object()) {
    auto error = reply.find("error");
    if (error != reply.end() && error->is_string()) return error->get<std::string>();
  }
  return "an answer without a hold: " + reply.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string session_key(std::string_view word, std::string_view session, uint32_t pid) {
  // Without a session id the agent's process stands for its session.
  std::string id = session.empty() ? "pid:" + std::to_string(pid) : "id:" + std::string(session);
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a(id)));
  return std::string(word) + "-" + hex;
}

void run_hook(std::string_view word, std::string_view event_name, std::string_view input,
              HookSystem& system) {
  Json payload = Json::parse(input, nullptr, false);
  if (payload.is_discarded()) payload = Json::object();
  std::optional<HookEvent> event = read_event(word, event_name, payload);
  if (!event) {
    system.log("no agent is called \"" + std::string(word) + "\"");
    return;
  }
  if (event->step == Step::kNone || !system.app_running()) return;
  const std::string what = std::string(event->agent->word) + " " + event->name + ": ";
  const uint32_t pid = system.agent_pid(*event->agent);
  if (pid == 0) {
    system.log(what + "couldn't find the agent's process");
    return;
  }
  if (event->step == Step::kStart) system.prune();
  auto session = system.open_session(session_key(event->agent->word, event->session, pid));
  if (!session) {
    system.log(what + session.message());
    return;
  }
  std::optional<SessionState> state;
  if (std::optional<std::string> text = (*session)->read()) {
    state = state_from_json(Json::parse(*text, nullptr, false));
  }
  const int64_t now = system.now();
  Plan plan = plan_event(state, event->step, pid, now);
  SessionState next = state.value_or(SessionState{});
  next.tools = plan.tools;
  bool answered = true;
  if (plan.take) {
    Json args{{"pid", pid}, {"reason", reason_for(*event)}};
    if (plan.leased) args["minutes"] = static_cast<double>(kLeaseMinutes);
    Result<Json> reply = system.request("hold", args);
    std::optional<std::string> id = reply ? hold_id(*reply) : std::nullopt;
    if (id) {
      next.hold = *id;
      next.pid = pid;
      next.taken = now;
      next.leased = plan.leased;
    } else {
      system.log(what + (reply ? reply_error(*reply) : reply.message()));
      // The old hold, if any, stays: better one too long than none.
      plan.release = false;
      answered = static_cast<bool>(reply);
    }
  }
  if (plan.release && answered && state && !state->hold.empty()) {
    Result<Json> reply = system.request("release", Json{{"id", state->hold}});
    if (!reply) system.log(what + reply.message());
  }
  if (plan.forget) {
    (*session)->remove();
  } else if (Status saved = (*session)->write(state_json(next).dump()); !saved) {
    system.log(what + "couldn't keep the session: " + saved.message());
  }
}

}  // namespace vesk::hooks
