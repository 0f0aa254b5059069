// Each agent's rule for where its settings file is (see catalogue.h).
#pragma once

#include "agents/catalogue.h"

namespace vesk::agents {

// The user's profile folder: USERPROFILE, else (POSIX) HOME or (Windows)
// the profile known folder; null when none is a full path.
const std::string* profile_folder(const AgentEnv& env);

Result<AgentPlace> locate_claude_code(const AgentEnv& env, const FileProbe& probe);
Result<AgentPlace> locate_codex(const AgentEnv& env, const FileProbe& probe);
Result<AgentPlace> locate_gemini(const AgentEnv& env, const FileProbe& probe);
Result<AgentPlace> locate_qwen(const AgentEnv& env, const FileProbe& probe);
Result<AgentPlace> locate_copilot(const AgentEnv& env, const FileProbe& probe);
Result<AgentPlace> locate_opencode(const AgentEnv& env, const FileProbe& probe);
Result<AgentPlace> locate_kilo(const AgentEnv& env, const FileProbe& probe);
Result<AgentPlace> locate_cline(const AgentEnv& env, const FileProbe& probe);
Result<AgentPlace> locate_cursor(const AgentEnv& env, const FileProbe& probe);
Result<AgentPlace> locate_windsurf(const AgentEnv& env, const FileProbe& probe);
Result<AgentPlace> locate_vscode(const AgentEnv& env, const FileProbe& probe);
// Windows: the packaged app's folder (a "Claude_*" package with a
// LocalCache\Roaming folder) when there is one, preferring the one that holds
// the file and refusing to guess among several; else APPDATA's.
Result<AgentPlace> locate_claude_desktop(const AgentEnv& env, const FileProbe& probe);

}  // namespace vesk::agents
