#include "cli/agents_commands.h"

#include "agents/hook_install.h"

#include "base/text.h"
#include "base/utf8.h"
#include "cli/handlers.h"
#include "cli/text.h"
#include "mcp/tools.h"
#include "platform/fs.h"

namespace vesk::cli {

namespace {

using agents::AgentSpec;
using agents::Change;

std::string display(const AgentSpec& spec) { return std::string(spec.display); }

// "all | claude | codex | …"
std::string words_usage() {
  std::vector<std::string_view> words{kAllAgents};
  for (std::string_view word : agents::agent_words()) words.push_back(word);
  return join_words(words, " | ");
}

// Every word a command takes for an agent, aliases such as claude-code too,
// quoting the bad one as the unknown-command message does.
int unknown_agent(std::string_view command, std::string_view target, Io& io) {
  io.err("vesk: no agent is called " + quote_word(target) + ". Use: vesk " +
         std::string(command) + " " + join_words(agent_targets(), " | ") + "\n");
  return kExitFailed;
}

bool changed(const Change& change) {
  return change.kind == Change::Kind::kAdded || change.kind == Change::Kind::kUpdated;
}

// The line for one agent: its MCP entry, and its hooks when they were
// asked for (nullptr: not).
std::string connect_line(const AgentSpec& spec, const Result<Change>& change,
                         const Result<Change>* hooks) {
  std::string label = display(spec) + ": ";
  if (!change) return label + change.message();
  const std::string off = display(spec) + " has Vesk, but it is turned off there.";
  const bool new_hooks = hooks != nullptr && *hooks && changed(**hooks);
  const std::string hooks_done =
      new_hooks ? ((*hooks)->kind == Change::Kind::kAdded ? "hooks added" : "hooks updated") : "";
  std::string line;
  switch (change->kind) {
    case Change::Kind::kAdded:
      line = new_hooks ? "MCP server and hooks added to " + display(spec) +
                             std::string(spec.added_note) + ". New sessions can use Vesk."
                       : "Added to " + display(spec) + std::string(spec.added_note) +
                             ". New sessions can use Vesk.";
      break;
    case Change::Kind::kUpdated:
      line = "Updated Vesk in " + display(spec) +
             (change->old_command.empty() ? "" : ": it started " + change->old_command) +
             (new_hooks ? "; " + hooks_done : "") + ". " +
             (change->turned_off ? off : "New sessions can use Vesk.");
      break;
    default:
      if (new_hooks) {
        line = display(spec) + " already has Vesk's MCP server; " + hooks_done + ".";
        if (change->turned_off) line += " " + off;
      } else {
        line = change->turned_off ? off : display(spec) + " already has Vesk.";
      }
  }
  if (hooks != nullptr && !*hooks) line += " Its hooks weren't put in place: " + hooks->message();
  return label + line;
}

std::string disconnect_line(const AgentSpec& spec, const Result<Change>& change,
                            const AgentWorld& world) {
  std::string label = display(spec) + ": ";
  if (!change) return label + change.message();
  if (change->kind != Change::Kind::kRemoved) return label + display(spec) + " didn't have Vesk.";
  std::string line = label + "Took Vesk out of " + display(spec);
  const std::string& started = change->old_command;
  if (!started.empty() && !agents::starts_this_program(started, world.launch.command)) {
    line += " (its entry started " + started + ")";
  }
  return line + ".";
}

// Whether one of the commands starts this program.
bool starts_this_program(const std::vector<std::string>& commands, const AgentWorld& world) {
  for (const std::string& command : commands) {
    if (agents::starts_this_program(command, world.launch.command)) return true;
  }
  return false;
}

// Whether any of the files the agent reads, or its hooks, exists.
bool any_file(const agents::AgentPlace& place, const AgentWorld& world) {
  if (world.probe.exists(place.file)) return true;
  if (!place.hooks.empty() && world.probe.exists(place.hooks)) return true;
  for (const std::string& file : place.files) {
    if (world.probe.exists(file)) return true;
  }
  return false;
}

// What `doctor` adds to a connected agent's name about its hooks.
std::string hooks_note(const AgentSpec& spec, const agents::AgentPlace& place,
                       const AgentWorld& world) {
  if (spec.hooks == agents::HookForm::kNone) return "";
  const std::string again = "`vesk connect " + std::string(spec.words.front()) + "`";
  auto state = agents::hook_state(spec, place, world.launch.command, world.files, world.env.rule);
  if (!state) return " (couldn't check its hooks: " + state.message() + ")";
  if (!state->any) return " (no hooks: " + again + " adds them)";
  if (!state->complete) return " (hooks not all in place: " + again + ")";
  if (!state->trusted) return " (hooks not trusted by Codex: " + again + ")";
  return " (with hooks)";
}

}  // namespace

AgentWorld system_agent_world() {
  return {agents::read_agent_env(), agents::system_probe(), agents::system_files(),
          agents::server_command()};
}

std::span<const std::string_view> agent_targets() {
  static const std::vector<std::string_view> targets = [] {
    std::vector<std::string_view> out{kAllAgents};
    for (std::string_view word : agents::all_agent_words()) out.push_back(word);
    return out;
  }();
  return targets;
}

int connect_agents(std::string_view target, const AgentWorld& world, Io& io, bool with_hooks) {
  const bool all = target == kAllAgents;
  const AgentSpec* named = all ? nullptr : agents::find_agent(target);
  if (!all && named == nullptr) return unknown_agent("connect", target, io);
  bool tried = false, failed = false;
  size_t located = 0;
  std::string first_error;
  for (const AgentSpec& spec : agents::agent_catalogue()) {
    if (!all && &spec != named) continue;
    auto place = spec.locate(world.env, world.probe);
    if (!place) {
      if (first_error.empty()) first_error = place.message();
      continue;
    }
    ++located;
    // Named, it is connected even when its folder doesn't exist yet.
    if (all && !world.probe.exists(place->presence)) continue;
    Result<Change> change = agents::connect_agent(spec, *place, world.launch, world.files);
    std::optional<Result<Change>> hooks;
    if (change && with_hooks && spec.hooks != agents::HookForm::kNone) {
      hooks = agents::connect_hooks(spec, *place, world.launch.command, world.files, world.env.rule);
    }
    io.out(connect_line(spec, change, hooks ? &*hooks : nullptr) + "\n");
    tried = true;
    failed = failed || !change || (hooks && !*hooks);
  }
  if (!tried) {
    // No folder to look in at all: say what to set.
    if (located == 0) {
      io.err("vesk: " + first_error + "\n");
      return kExitFailed;
    }
    io.out("No agent found here. Use: vesk connect " + words_usage() + "\n");
    return kExitFailed;
  }
  return failed ? kExitFailed : kExitDone;
}

int disconnect_agents(std::string_view target, const AgentWorld& world, Io& io) {
  const bool all = target == kAllAgents;
  const AgentSpec* named = all ? nullptr : agents::find_agent(target);
  if (!all && named == nullptr) return unknown_agent("disconnect", target, io);
  bool tried = false, failed = false;
  for (const AgentSpec& spec : agents::agent_catalogue()) {
    if (!all && &spec != named) continue;
    auto place = spec.locate(world.env, world.probe);
    if (!place) {
      if (all) continue;
      io.err("vesk: " + place.message() + "\n");
      return kExitFailed;
    }
    if (all && !any_file(*place, world)) continue;
    Result<Change> change = agents::disconnect_agent(spec, *place, world.files);
    if (change) {
      // The hooks go too; the MCP entry's line says whose it was.
      Result<Change> hooks = agents::disconnect_hooks(spec, *place, world.files, world.env.rule);
      if (!hooks) {
        change = hooks.error();
      } else if (hooks->kind == Change::Kind::kRemoved && change->kind != Change::Kind::kRemoved) {
        change->kind = Change::Kind::kRemoved;
      }
    }
    io.out(disconnect_line(spec, change, world) + "\n");
    tried = true;
    failed = failed || !change;
  }
  if (!tried) io.out("No agent here has a settings file, so none has Vesk.\n");
  return failed ? kExitFailed : kExitDone;
}

std::vector<std::string> agent_doctor_lines(const AgentWorld& world) {
  std::vector<std::string> with, without, unreadable;
  bool gemini = false;
  for (const AgentSpec& spec : agents::agent_catalogue()) {
    auto place = spec.locate(world.env, world.probe);
    if (!place || !world.probe.exists(place->presence)) continue;
    auto commands = agents::connected_commands(spec, *place, world.files);
    if (!commands) {
      unreadable.push_back("Couldn't check " + display(spec) + ": " + commands.message());
    } else if (starts_this_program(*commands, world)) {
      with.push_back(display(spec) + hooks_note(spec, *place, world));
      gemini = gemini || spec.words.front() == "gemini";
    } else {
      without.push_back(display(spec) + " (`vesk connect " + std::string(spec.words.front()) +
                        "`)");
    }
  }
  auto joined = [](const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
    return out;
  };
  std::vector<std::string> lines;
  // No agent here: nothing to say.
  if (with.empty() && without.empty() && unreadable.empty()) return lines;
  lines.push_back("Agents with Vesk: " + (with.empty() ? std::string("none") : joined(with)));
  if (gemini) {
    lines.push_back(
        "Note: Gemini CLI starts MCP servers only in folders you have trusted (it asks when you "
        "open a new one).");
  }
  if (!without.empty()) lines.push_back("Agents found without Vesk: " + joined(without));
  lines.insert(lines.end(), unreadable.begin(), unreadable.end());
  return lines;
}

AgentsUninstalled disconnect_for_uninstall(const AgentWorld& world) {
  AgentsUninstalled out;
  for (const AgentSpec& spec : agents::agent_catalogue()) {
    auto place = spec.locate(world.env, world.probe);
    if (!place) continue;
    bool removed = false;
    // File by file: another program's entry in one of them stays.
    for (const std::string& file : agents::files_read(*place)) {
      if (!world.probe.exists(file)) continue;
      auto command = agents::connected_command(spec, file, world.files);
      if (!command) {
        out.left.push_back(display(spec) + ": " + command.message());
        continue;
      }
      if (!*command || !agents::starts_this_program(**command, world.launch.command)) continue;
      Result<Change> change = agents::disconnect_agent(spec, file, world.files);
      if (!change) {
        out.left.push_back(display(spec) + ": " + change.message());
      } else if (change->kind == Change::Kind::kRemoved) {
        removed = true;
      }
    }
    // This program's hooks go too; another vesk's stay.
    Result<Change> hooks = agents::disconnect_hooks(spec, *place, world.files, world.env.rule,
                                                    &world.launch.command);
    if (!hooks) {
      out.left.push_back(display(spec) + ": " + hooks.message());
    } else if (hooks->kind == Change::Kind::kRemoved) {
      removed = true;
    }
    if (removed) out.done.push_back(display(spec) + ": Took Vesk out of " + display(spec) + ".");
  }
  return out;
}

std::string mcp_setup_text(std::string_view exe_path) {
  std::string path;
  path.append("\"").append(exe_path).append("\"");
  constexpr size_t kLabelWidth = 14;
  std::string text;
  for (const AgentSpec& spec : agents::agent_catalogue()) {
    if (spec.add_command.empty()) continue;
    std::string label = display(spec) + ":";
    label.resize(std::max(kLabelWidth, label.size() + 1), ' ');
    text += label + std::string(spec.add_command) + path + " mcp\n";
  }
  text += "\nAny other MCP client: command " + path + ", argument \"mcp\" (stdio).\n";
  text += "Or let Vesk add itself: vesk connect " + words_usage() + "\n";
  text += "That also adds the agents' hooks, which keep the laptop awake exactly while an agent "
          "works (vesk connect --no-hooks: the MCP server only).\n";
  return text;
}

Outcome cmd_connect(Context& ctx, const Args& args) {
  Args words;
  bool with_hooks = true;
  for (const std::string& arg : args) {
    if (arg == "--no-hooks") {
      with_hooks = false;
    } else {
      words.push_back(arg);
    }
  }
  return connect_agents(words.empty() ? kAllAgents : std::string_view(words.front()),
                        system_agent_world(), ctx.io, with_hooks);
}

Outcome cmd_disconnect(Context& ctx, const Args& args) {
  return disconnect_agents(args.front(), system_agent_world(), ctx.io);
}

Outcome cmd_mcp_setup(Context& ctx, const Args&) {
  ctx.io.out(mcp_setup_text(agents::self_path_text()));
  return kExitDone;
}

Outcome cmd_prompt(Context& ctx, const Args&) {
  ctx.io.out(std::string(mcp::setup_prompt()) + "\n");
  return kExitDone;
}

}  // namespace vesk::cli
