#include "hooks/hook.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

#include "base/json.h"
#include "harness.h"
#include "hooks/session.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "standin/standin.h"
#include "standin/tray.h"

namespace vesk::hooks {
namespace {

constexpr uint64_t kFiletimeSecond = 10000000ULL;

// A tray app (the stand-in's own, with a clock and processes the test
// sets), session files in memory, and the agent's process id.
class FakeHooks final : public HookSystem {
 public:
  FakeHooks() : tray_(settings_.path() + "/settings.json", machine()) {}

  bool app_running() override { return running; }
  Result<Json> request(std::string_view kind, const Json& payload) override {
    requests.push_back({std::string(kind), payload});
    if (!running) return Error{"Vesk isn't running."};
    return tray_.handle(kind, payload);
  }
  int64_t now() override { return static_cast<int64_t>(seconds); }
  uint32_t agent_pid(const HookAgent&) override { return pid; }
  Result<std::unique_ptr<Session>> open_session(const std::string& key) override {
    return std::unique_ptr<Session>(new Memory(states, key));
  }
  void prune() override {}
  void log(std::string_view line) override { logged.emplace_back(line); }

  // The holds in force now.
  std::vector<standin::Hold> holds() {
    (void)tray_.handle("status", Json::object());  // ends what is due
    return tray_.holds();
  }

  uint64_t seconds = 1800000000;
  uint32_t pid = 4242;
  bool running = true;
  std::set<uint32_t> processes{4242, 4343};
  std::map<std::string, std::string> states;
  std::vector<std::pair<std::string, Json>> requests;
  std::vector<std::string> logged;

 private:
  class Memory final : public Session {
   public:
    Memory(std::map<std::string, std::string>& states, std::string key)
        : states_(states), key_(std::move(key)) {}
    std::optional<std::string> read() override {
      auto found = states_.find(key_);
      return found == states_.end() ? std::nullopt : std::optional<std::string>(found->second);
    }
    Status write(std::string_view text) override {
      states_[key_] = std::string(text);
      return {};
    }
    void remove() override { states_.erase(key_); }

   private:
    std::map<std::string, std::string>& states_;
    std::string key_;
  };

  standin::Machine machine() {
    standin::Machine m = standin::real_machine();
    m.now = [this] { return platform::kUnixEpochFiletime + seconds * kFiletimeSecond; };
    m.process_running = [this](uint32_t p) { return processes.count(p) > 0; };
    return m;
  }

  testing::TempDir settings_;
  standin::Tray tray_;
};

// The first event of `agent` that means `step`.
std::string event_for(const HookAgent& agent, Step step) {
  for (const EventRow& row : agent.events) {
    if (row.step == step) return std::string(row.name);
  }
  return {};
}

std::string payload(const std::string& key, const std::string& session) {
  return Json{{key, session}, {"cwd", "/work/proj"}}.dump();
}

// What the agents were seen to send, and what each call is about.
TEST(HookEvents, PayloadsAsTheAgentsSendThem) {
  struct Row {
    std::string word, event, payload;
    std::string agent, name, session, folder;
    Step step;
  };
  const Row rows[] = {
      {"claude", "",
       R"({"session_id": "78d3", "cwd": "/p", "hook_event_name": "UserPromptSubmit", "prompt": "x"})",
       "Claude Code", "UserPromptSubmit", "78d3", "/p", Step::kStart},
      {"claude", "Interrupt", R"({"session_id": "78d3", "cwd": "/p"})", "Claude Code",
       "Interrupt", "78d3", "/p", Step::kEnd},
      {"claude", "", R"({"session_id": "7", "hook_event_name": "Notification",
                         "notification_type": "idle_prompt"})",
       "Claude Code", "Notification", "7", "", Step::kEnd},
      {"claude", "", R"({"session_id": "7", "hook_event_name": "Notification",
                         "notification_type": "permission_prompt"})",
       "Claude Code", "Notification", "7", "", Step::kNone},
      // Claude Code's hooks as VS Code and Cursor run them.
      {"claude", "", R"({"sessionId": "v1", "hookEventName": "PreToolUse", "cwd": "/v"})",
       "VS Code", "PreToolUse", "v1", "/v", Step::kToolStart},
      {"claude", "Stop", R"({"conversation_id": "c1", "cursor_version": "1.7",
                             "workspace_roots": ["/c"]})",
       "Cursor", "Stop", "c1", "/c", Step::kEnd},
      {"codex", "", R"({"session_id": "01a2", "turn_id": "t", "cwd": "/p",
                        "hook_event_name": "PostToolUse"})",
       "Codex", "PostToolUse", "01a2", "/p", Step::kToolEnd},
      {"gemini", "", R"({"session_id": "e3", "cwd": "/g", "hook_event_name": "AfterAgent",
                         "prompt_response": "[no response text]"})",
       "Gemini CLI", "AfterAgent", "e3", "/g", Step::kEnd},
      {"qwen", "", R"({"session_id": "q", "hook_event_name": "UserPromptSubmit", "prompt": ""})",
       "Qwen Code", "UserPromptSubmit", "q", "", Step::kStart},
      {"copilot", "agentStop", R"({"sessionId": "5f", "cwd": "/c", "stopReason": "end_turn"})",
       "GitHub Copilot CLI", "agentStop", "5f", "/c", Step::kEnd},
      {"cline", "TaskStart", R"({"taskId": "conv_1", "workspaceRoots": ["/w"],
                                 "hookName": "agent_start"})",
       "Cline CLI", "TaskStart", "conv_1", "/w", Step::kStart},
      {"opencode", "session.busy", R"({"sessionID": "ses_1", "cwd": "/o"})", "OpenCode",
       "session.busy", "ses_1", "/o", Step::kStart},
      {"cursor", "", R"({"hook_event_name": "beforeSubmitPrompt", "conversation_id": "c2"})",
       "Cursor", "beforeSubmitPrompt", "c2", "", Step::kStart},
      {"windsurf", "post_cascade_response", R"({"trajectory_id": "tr", "execution_id": "e"})",
       "Windsurf", "post_cascade_response", "tr", "", Step::kEnd},
      // Nothing to go by: no step, so nothing is done.
      {"codex", "", "not json", "Codex", "", "", "", Step::kNone},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.word + " " + row.payload);
    Json doc = Json::parse(row.payload, nullptr, false);
    auto event = read_event(row.word, row.event, doc.is_discarded() ? Json::object() : doc);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->agent->display, row.agent);
    EXPECT_EQ(event->name, row.name);
    EXPECT_EQ(event->session, row.session);
    EXPECT_EQ(event->folder, row.folder);
    EXPECT_EQ(event->step, row.step);
  }
  EXPECT_FALSE(read_event("nobody", "Stop", Json::object()));
}

// Every agent: a turn takes one hold bound to the agent's process, with a
// lease, none while a tool runs, and every one of its end events lets go.
TEST(HookSessions, EveryAgentHoldsWhileItWorks) {
  for (const HookAgent& agent : hook_agents()) {
    for (const EventRow& end : agent.events) {
      if (end.step != Step::kEnd) continue;
      SCOPED_TRACE(std::string(agent.word) + " " + std::string(end.name));
      FakeHooks sys;
      const std::string word(agent.word);
      const std::string in = payload(std::string(agent.session_keys.front()), "s1");
      run_hook(word, event_for(agent, Step::kStart), in, sys);
      auto holds = sys.holds();
      ASSERT_EQ(holds.size(), 1u);
      EXPECT_EQ(holds[0].pid, std::optional<uint32_t>(4242));
      EXPECT_TRUE(holds[0].until);
      EXPECT_EQ(holds[0].reason, std::string(agent.display) + " is working in /work/proj");
      if (std::string tool = event_for(agent, Step::kToolStart); !tool.empty()) {
        run_hook(word, tool, in, sys);
        holds = sys.holds();
        ASSERT_EQ(holds.size(), 1u);
        EXPECT_FALSE(holds[0].until);  // no lease while the tool runs
        run_hook(word, event_for(agent, Step::kToolEnd), in, sys);
        holds = sys.holds();
        ASSERT_EQ(holds.size(), 1u);
        EXPECT_TRUE(holds[0].until);
      }
      run_hook(word, std::string(end.name), in, sys);
      EXPECT_TRUE(sys.holds().empty());
      EXPECT_TRUE(sys.states.empty());
      EXPECT_TRUE(sys.logged.empty()) << sys.logged.front();
    }
  }
}

TEST(HookSessions, LeaseRenewalSessionsAndMissedEnds) {
  FakeHooks sys;
  const std::string a = payload("session_id", "a"), b = payload("session_id", "b");
  run_hook("claude", "UserPromptSubmit", a, sys);
  // Work within a minute of the hold keeps it as it is: no request at all.
  sys.requests.clear();
  sys.seconds += 30;
  run_hook("claude", "PostToolBatch", a, sys);
  EXPECT_TRUE(sys.requests.empty());
  // Later work renews the lease: a fresh hold, then the old one let go.
  sys.seconds += 40;
  run_hook("claude", "PostToolBatch", a, sys);
  ASSERT_EQ(sys.requests.size(), 2u);
  EXPECT_EQ(sys.requests[0].first, "hold");
  EXPECT_EQ(sys.requests[0].second["minutes"], 15.0);
  EXPECT_EQ(sys.requests[1].first, "release");
  ASSERT_EQ(sys.holds().size(), 1u);

  // Another session of the same agent has a hold of its own.
  run_hook("claude", "UserPromptSubmit", b, sys);
  EXPECT_EQ(sys.holds().size(), 2u);
  run_hook("claude", "Stop", b, sys);
  EXPECT_EQ(sys.holds().size(), 1u);

  // The end never comes: the lease ends the hold 15 quiet minutes on.
  sys.seconds += 15 * 60 - 1;
  EXPECT_EQ(sys.holds().size(), 1u);
  sys.seconds += 1;
  EXPECT_TRUE(sys.holds().empty());
  // ...but not while a tool runs; then the agent's exit ends it.
  run_hook("claude", "PreToolUse", a, sys);
  sys.seconds += 3 * 3600;
  EXPECT_EQ(sys.holds().size(), 1u);
  sys.processes.erase(4242);
  EXPECT_TRUE(sys.holds().empty());

  // Two tool calls at once: the lease comes back only when both ended.
  sys.processes.insert(4242);
  const std::string c = payload("session_id", "c");
  for (const char* event : {"UserPromptSubmit", "PreToolUse", "PreToolUse", "PostToolUse"}) {
    run_hook("claude", event, c, sys);
  }
  ASSERT_EQ(sys.holds().size(), 1u);
  EXPECT_FALSE(sys.holds()[0].until);
  run_hook("claude", "PostToolUse", c, sys);
  ASSERT_EQ(sys.holds().size(), 1u);
  EXPECT_TRUE(sys.holds()[0].until);

  // A tray app that isn't running: nothing asked, nothing kept or logged,
  // and the next event tries again.
  FakeHooks quiet;
  quiet.running = false;
  run_hook("codex", "UserPromptSubmit", payload("session_id", "q"), quiet);
  EXPECT_TRUE(quiet.requests.empty());
  EXPECT_TRUE(quiet.states.empty());
  EXPECT_TRUE(quiet.logged.empty());
  quiet.running = true;
  run_hook("codex", "PostToolUse", payload("session_id", "q"), quiet);
  EXPECT_EQ(quiet.holds().size(), 1u);
}

// The real session files: hooks of one session that run at the same time
// take one hold between them, and leave none.
TEST(HookSessions, ParallelHooksOfOneSessionTakeOneHold) {
  testing::TempDir dir;
  const std::string folder = platform::join_path(dir.path(), "Vesk");
  standin::StandIn tray(folder);
  tray.start();
  class Here final : public HookSystem {
   public:
    explicit Here(const std::string& app) : real_(system_hooks(app)) {}
    bool app_running() override { return real_->app_running(); }
    Result<Json> request(std::string_view kind, const Json& p) override {
      return real_->request(kind, p);
    }
    int64_t now() override { return real_->now(); }
    uint32_t agent_pid(const HookAgent&) override { return platform::current_pid(); }
    Result<std::unique_ptr<Session>> open_session(const std::string& key) override {
      return real_->open_session(key);
    }
    void prune() override { real_->prune(); }
    void log(std::string_view line) override { real_->log(line); }

   private:
    std::unique_ptr<HookSystem> real_;
  };
  const std::string in = payload("session_id", "parallel");
  for (int round = 0; round < 10; ++round) {
    for (const char* event : {"UserPromptSubmit", "Stop"}) {
      std::vector<std::thread> hooks;
      for (int k = 0; k < 4; ++k) {
        hooks.emplace_back([&] {
          Here sys(folder);
          run_hook("claude", event, in, sys);
        });
      }
      for (std::thread& t : hooks) t.join();
      EXPECT_EQ(tray.holds().size(), std::string(event) == "Stop" ? 0u : 1u) << round;
    }
  }
  EXPECT_FALSE(platform::file_exists(platform::join_path(folder, "hook.log")));
}

}  // namespace
}  // namespace vesk::hooks
