#include "agents/hook_files.h"

#include <gtest/gtest.h>

#include <string>

#include "base/json.h"

namespace vesk::agents {
namespace {

using platform::FolderRule;

TEST(HookFiles, QuoteProgram) {
  struct Row {
    std::string program;
    HookShell shell;
    std::string quoted;
  };
  const Row rows[] = {
      {"/usr/bin/vesk", HookShell::kPosix, "'/usr/bin/vesk'"},
      {"/opt/my vesk/vesk", HookShell::kPosix, "'/opt/my vesk/vesk'"},
      {"/home/o'neil/$HOME/`x`/vesk", HookShell::kPosix, "'/home/o'\\''neil/$HOME/`x`/vesk'"},
      {"''", HookShell::kPosix, "''\\'''\\'''"},
      {"C:\\Program Files\\vesk\\vesk.exe", HookShell::kPowerShell,
       "& 'C:\\Program Files\\vesk\\vesk.exe'"},
      {"C:\\Users\\O'Neil\\$env:x\\vesk.exe", HookShell::kPowerShell,
       "& 'C:\\Users\\O''Neil\\$env:x\\vesk.exe'"},
      // PowerShell ends a quoted string at a typographic quote too.
      {"C:\\a\xE2\x80\x99" "b\xE2\x80\x98\\vesk.exe", HookShell::kPowerShell,
       "& 'C:\\a\xE2\x80\x99\xE2\x80\x99" "b\xE2\x80\x98\xE2\x80\x98\\vesk.exe'"},
      {"/home/\xC3\xA9l\xC3\xA8ve/vesk", HookShell::kPowerShell, "& '/home/\xC3\xA9l\xC3\xA8ve/vesk'"},
  };
  for (const auto& row : rows) {
    auto quoted = quote_program(row.program, row.shell);
    ASSERT_TRUE(quoted.ok()) << row.program << ": " << quoted.message();
    EXPECT_EQ(*quoted, row.quoted);
  }
  EXPECT_EQ(*hook_command_line("/a b/vesk", HookShell::kPosix, "copilot", "agentStop"),
            "'/a b/vesk' hook copilot agentStop");
  EXPECT_EQ(*hook_command_line("C:\\v.exe", HookShell::kPowerShell, "copilot", "agentStop"),
            "& 'C:\\v.exe' hook copilot agentStop");
}

TEST(HookFiles, UnquotableProgramsAreRefused) {
  const std::pair<std::string, std::string> rows[] = {
      {"", "the path of this program is empty, so no hook can start it"},
      {std::string("/a\0b/vesk", 9),
       "the path of this program, \"/a\\u0000b/vesk\", holds a NUL character, so no hook can "
       "start it"},
      {"/a\nb/vesk",
       "the path of this program, \"/a\\nb/vesk\", holds a line break, so no hook can start it"},
      {"C:\\a\rb\\vesk.exe",
       "the path of this program, \"C:\\\\a\\rb\\\\vesk.exe\", holds a line break, so no hook can "
       "start it"},
      {"/a\xE2\x80\xA8" "b/vesk",
       "the path of this program, \"/a\xE2\x80\xA8" "b/vesk\", holds a line break, so no hook can "
       "start it"},
      {"/a\xFF/vesk",
       "the path of this program, \"/a\xEF\xBF\xBD/vesk\", isn't valid UTF-8, so no hook can start "
       "it"},
  };
  for (const auto& [program, message] : rows) {
    for (HookShell shell : {HookShell::kPosix, HookShell::kPowerShell}) {
      auto quoted = quote_program(program, shell);
      ASSERT_FALSE(quoted.ok()) << program;
      EXPECT_EQ(quoted.message(), message);
    }
    for (auto agent : {HookFileAgent::kCopilot, HookFileAgent::kCline, HookFileAgent::kOpenCode}) {
      auto files = hook_files(agent, program, FolderRule::kPosix);
      ASSERT_FALSE(files.ok());
      EXPECT_EQ(files.message(), message);
    }
  }
}

TEST(HookFiles, CopilotFile) {
  auto files = hook_files(HookFileAgent::kCopilot, "/opt/o'k/vesk", FolderRule::kPosix);
  ASSERT_TRUE(files.ok()) << files.message();
  ASSERT_EQ(files->size(), 1u);
  EXPECT_EQ((*files)[0].name, "vesk.json");
  EXPECT_EQ((*files)[0].mode, kPlainFileMode);
  const std::string& text = (*files)[0].text;
  EXPECT_EQ(text.substr(0, 60),
            "{\n  \"hooks\": {\n    \"agentStop\": [\n      {\n        \"bash\": \"'");
  auto parsed = parse_json(text);
  ASSERT_TRUE(parsed);
  EXPECT_EQ((*parsed)["version"], 1);
  const Json& hooks = (*parsed)["hooks"];
  EXPECT_EQ(hooks.size(), 5u);
  for (const char* event :
       {"userPromptSubmitted", "postToolUse", "agentStop", "errorOccurred", "sessionEnd"}) {
    ASSERT_TRUE(hooks.contains(event)) << event;
    const Json& handler = hooks[event][0];
    EXPECT_EQ(handler["type"], "command");
    EXPECT_EQ(handler["bash"], std::string("'/opt/o'\\''k/vesk' hook copilot ") + event);
    EXPECT_EQ(handler["powershell"], std::string("& '/opt/o''k/vesk' hook copilot ") + event);
    EXPECT_EQ(handler["timeoutSec"], 5);
  }
  // A failing preToolUse or permissionRequest hook denies the tool.
  EXPECT_FALSE(hooks.contains("preToolUse"));
  EXPECT_FALSE(hooks.contains("permissionRequest"));
  EXPECT_EQ(*files, *hook_files(HookFileAgent::kCopilot, "/opt/o'k/vesk", FolderRule::kWindows));
}

TEST(HookFiles, ClineScripts) {
  auto posix = hook_files(HookFileAgent::kCline, "/opt/o'k/vesk", FolderRule::kPosix);
  ASSERT_TRUE(posix.ok()) << posix.message();
  ASSERT_EQ(posix->size(), 8u);
  EXPECT_EQ(hook_file_names(HookFileAgent::kCline, FolderRule::kPosix),
            (std::vector<std::string>{"TaskStart", "TaskResume", "TaskComplete", "TaskError",
                                      "TaskCancel", "SessionShutdown", "PreToolUse",
                                      "PostToolUse"}));
  const HookFile& pre = (*posix)[6];
  EXPECT_EQ(pre.name, "PreToolUse");
  EXPECT_EQ(pre.mode, kScriptMode);
  EXPECT_EQ(pre.text,
            "#!/bin/sh\n"
            "# Written by vesk (`vesk connect cline`) so that the computer stays awake\n"
            "# while Cline works; `vesk disconnect cline` deletes it.\n"
            "[ -x '/opt/o'\\''k/vesk' ] || exit 0\n"
            "exec '/opt/o'\\''k/vesk' hook cline PreToolUse >/dev/null 2>&1\n");

  auto windows = hook_files(HookFileAgent::kCline, "C:\\O'k\\vesk.exe", FolderRule::kWindows);
  ASSERT_TRUE(windows.ok()) << windows.message();
  ASSERT_EQ(windows->size(), 8u);
  const HookFile& start = (*windows)[0];
  EXPECT_EQ(start.name, "TaskStart.ps1");
  EXPECT_EQ(start.mode, kPlainFileMode);
  EXPECT_EQ(start.text,
            "\xEF\xBB\xBF# Written by vesk (`vesk connect cline`) so that the computer stays awake\n"
            "# while Cline works; `vesk disconnect cline` deletes it.\n"
            "try { $null = & 'C:\\O''k\\vesk.exe' hook cline TaskStart 2>$null } catch {}\n"
            "exit 0\n");
  for (std::size_t i = 0; i < 8; ++i) {
    EXPECT_EQ((*windows)[i].name, (*posix)[i].name + ".ps1");
    EXPECT_NE((*posix)[i].text.find(" hook cline " + (*posix)[i].name + " "), std::string::npos);
  }
}

TEST(HookFiles, Plugins) {
  for (auto [agent, word] : {std::pair{HookFileAgent::kOpenCode, "opencode"},
                             std::pair{HookFileAgent::kKilo, "kilo"}}) {
    auto files = hook_files(agent, "C:\\a \"b\"\\vesk.exe", FolderRule::kWindows);
    ASSERT_TRUE(files.ok()) << files.message();
    ASSERT_EQ(files->size(), 1u);
    EXPECT_EQ((*files)[0].name, "vesk.js");
    const std::string& text = (*files)[0].text;
    EXPECT_EQ(text.substr(0, 33), "// Written by vesk (`vesk connect");
    EXPECT_NE(text.find("const program = \"C:\\\\a \\\"b\\\"\\\\vesk.exe\";\n"), std::string::npos);
    EXPECT_NE(text.find(std::string("[\"hook\", \"") + word + "\", name]"), std::string::npos);
    for (const char* name :
         {"\"session.busy\"", "\"session.idle\"", "\"tool.execute.before\"", "\"tool.execute.after\""}) {
      EXPECT_NE(text.find(name), std::string::npos) << name;
    }
    EXPECT_EQ(text.find("await"), std::string::npos);
    EXPECT_EQ(hook_file_names(agent, FolderRule::kPosix), std::vector<std::string>{"vesk.js"});
  }
}

TEST(HookFiles, OursAndTheProgramTheyStart) {
  const std::string programs[] = {"/usr/bin/vesk", "/opt/o'k/v''e`sk", "C:\\A B\\O'k\\vesk.exe",
                                  "C:\\a\xE2\x80\x99\\\"x\"\\vesk.exe", "/\xC3\xA9/vesk"};
  for (auto agent : {HookFileAgent::kCopilot, HookFileAgent::kCline, HookFileAgent::kOpenCode,
                     HookFileAgent::kKilo}) {
    for (auto rule : {FolderRule::kPosix, FolderRule::kWindows}) {
      for (const std::string& program : programs) {
        auto files = hook_files(agent, program, rule);
        ASSERT_TRUE(files.ok()) << files.message();
        for (const HookFile& file : *files) {
          EXPECT_TRUE(hook_file_is_ours(file.text)) << file.name << " " << program;
          EXPECT_EQ(hook_file_program(file.text), program) << file.name << "\n" << file.text;
        }
      }
    }
  }
}

TEST(HookFiles, OthersFilesAreNotOurs) {
  const std::string rows[] = {
      "",
      "#!/bin/sh\necho hi\n",
      "#!/bin/bash\n# Written by vesk\nexec '/v' hook cline TaskStart\n",
      "\n# Written by vesk\n",
      "// my plugin. Written by vesk? no\n",
      "{\"version\": 1, \"hooks\": {}}",
      "{\"version\": 1, \"hooks\": {\"agentStop\": [{\"type\": \"command\", \"bash\": \"notify\"}]}}",
      // One hook of the user's among ours.
      "{\"hooks\": {\"agentStop\": [{\"bash\": \"'/v' hook copilot agentStop\"}, {\"bash\": "
      "\"echo\"}]}}",
      // Ours would name the event it is under.
      "{\"hooks\": {\"agentStop\": [{\"bash\": \"'/v' hook copilot sessionEnd\"}]}}",
      // Two programs.
      "{\"hooks\": {\"agentStop\": [{\"bash\": \"'/v' hook copilot agentStop\"}], \"sessionEnd\": "
      "[{\"bash\": \"'/w' hook copilot sessionEnd\"}]}}",
      "{\"hooks\": {\"agentStop\": [{\"bash\": \"'/v' hook copilot agentStop\"}]",
  };
  for (const std::string& text : rows) {
    EXPECT_FALSE(hook_file_is_ours(text)) << text;
    EXPECT_EQ(hook_file_program(text), std::nullopt) << text;
  }
  // Ours, but changed by hand so that it names no program.
  EXPECT_TRUE(hook_file_is_ours("#!/bin/sh\n# Written by vesk\necho\n"));
  EXPECT_EQ(hook_file_program("#!/bin/sh\n# Written by vesk\necho\n"), std::nullopt);
  EXPECT_EQ(hook_file_program("#!/bin/sh\n# Written by vesk\nexec '/v\n"), std::nullopt);
  EXPECT_EQ(hook_file_program("{\"hooks\": {\"agentStop\": [{\"bash\": \"'/v' hook copilot "
                              "agentStop\"}]}}"),
            "/v");
}

TEST(HookFiles, CodexKeys) {
  const std::pair<std::string_view, std::string_view> labels[] = {
      {"UserPromptSubmit", "user_prompt_submit"}, {"PreToolUse", "pre_tool_use"},
      {"Stop", "stop"},                           {"SessionEnd", "session_end"},
      {"SubagentStart", "subagent_start"},        {"PermissionRequest", "permission_request"},
  };
  for (auto [event, label] : labels) EXPECT_EQ(codex_event_label(event), label);
  EXPECT_EQ(codex_hook_key("/home/me/.codex/hooks.json", "PostToolUse", 2, 0),
            "/home/me/.codex/hooks.json:post_tool_use:2:0");
  EXPECT_EQ(codex_hook_key("C:\\Users\\me\\.codex\\hooks.json", "Stop", 0, 1),
            "C:\\Users\\me\\.codex\\hooks.json:stop:0:1");
}

}  // namespace
}  // namespace vesk::agents
