#include "hooks/session.h"

#include <algorithm>

namespace vesk::hooks {

Json state_json(const SessionState& state) {
  return Json{{"hold", state.hold},
              {"pid", state.pid},
              {"taken", state.taken},
              {"leased", state.leased},
              {"tools", state.tools}};
}

std::optional<SessionState> state_from_json(const Json& doc) {
  if (!doc.is_object()) return std::nullopt;
  SessionState state;
  auto hold = doc.find("hold");
  auto pid = doc.find("pid");
  auto taken = doc.find("taken");
  auto leased = doc.find("leased");
  auto tools = doc.find("tools");
  if (hold == doc.end() || !hold->is_string() || pid == doc.end() || !pid->is_number_unsigned() ||
      taken == doc.end() || !taken->is_number_integer() || leased == doc.end() ||
      !leased->is_boolean() || tools == doc.end() || !tools->is_number_integer()) {
    return std::nullopt;
  }
  state.hold = hold->get<std::string>();
  if (pid->get<uint64_t>() > UINT32_MAX) return std::nullopt;
  state.pid = pid->get<uint32_t>();
  state.taken = taken->get<int64_t>();
  state.leased = leased->get<bool>();
  state.tools = std::max(0, tools->get<int>());
  return state;
}

Plan plan_event(const std::optional<SessionState>& state, Step step, uint32_t pid, int64_t now) {
  Plan plan;
  const bool held = state && !state->hold.empty();
  plan.tools = state ? state->tools : 0;
  switch (step) {
    case Step::kNone: return plan;
    case Step::kEnd:
      plan.release = held;
      plan.forget = true;
      plan.tools = 0;
      return plan;
    case Step::kToolStart: ++plan.tools; break;
    case Step::kToolEnd: plan.tools = std::max(0, plan.tools - 1); break;
    case Step::kStart:
    case Step::kWork: break;
  }
  plan.leased = plan.tools == 0;
  bool renew = !held || state->pid != pid || state->leased != plan.leased ||
               (plan.leased && now - state->taken >= kRenewAfterSeconds) || now < state->taken;
  plan.take = renew;
  plan.release = renew && held;
  return plan;
}

}  // namespace vesk::hooks
