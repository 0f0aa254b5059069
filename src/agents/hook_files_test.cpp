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

// A handler as vesk writes it into Codex's hooks.json.
Json codex_handler(std::string_view event) {
  return Json{{"type", "command"},
              {"command", "'/opt/vesk dir/o'\\''k/vesk' hook codex " + std::string(event)},
              {"commandWindows",
               "\"C:\\Program Files\\vesk\\vesk.exe\" hook codex " + std::string(event)},
              {"timeout", 5}};
}

// Every hash here is the currentHash that the real Codex 0.171.0's
// app-server reported for the same hook (tests/mcp_client/
// codex_hooks_trust_test.mjs lists them).
TEST(HookFiles, CodexTrustedHashes) {
  struct Row {
    std::string_view event;
    std::optional<std::string_view> matcher;
    Json changes;  // members set on (null: removed from) the handler
    std::string_view hash;
  };
  const Json none = Json::object();
  const Row rows[] = {
      {"PreToolUse", {}, none, "69fb361f3e12cd2c5b9f1662cf2674df02f97da3f851a12ac1105d93ac571514"},
      {"PreToolUse", "x", none, "fccfd800a30fc85d0dba56dc8a6545ff9ba75d5edfcd6b675be3651730faf6a1"},
      {"PreToolUse", "*", none, "cf223074e6c4d976c87d4e6785ff6021d79ed4b779b45e24c86405cfe68007b8"},
      {"PreToolUse", "*", {{"async", false}, {"statusMessage", "vesk"}},
       "fd2a4642829682e6f6aceaad2b9d8e1cd5768785fba2d0ebf5e7d17796de8dcc"},
      {"PermissionRequest", {}, none,
       "ada95c9537c786ae2b01d06844a01cfa58bffc9a667bf8ce4825641edb8ace74"},
      {"PermissionRequest", "x", none,
       "90cdf7727d51f24f1d037bdca0d810eb602d35e4664681fb30d29922343608df"},
      {"PostToolUse", {}, none, "99899643c0567e6c500d646638e989bea5a98d5ed3d4c570a9a780579cc3f8f6"},
      {"PostToolUse", "x", none, "86535ef7697c903d1df9754174dfc968cdf2057f137f5744c61f0d18325c488d"},
      {"PostToolUse", {},
       {{"command", "'/\xC3\xA9\xE2\x80\xA8/\"q\"\\\t\x01\x7f' hook codex PostToolUse"}},
       "980ec1cd4c053acd17b63487d88b05e7116b2b6d70b708f434c550972ead61c9"},
      {"PreCompact", {}, none, "137c8b4880abb62f8415f28f31d8cc4a7c4b37301f9efa0387cff1390e5e1124"},
      {"PreCompact", "x", none, "fb207af17fc44d9e7d1284e8f08b4d08857dd06695a896047f0a279591724057"},
      {"PostCompact", {}, none, "9208478c14d4ba720e9c73b06eacf9b0a3e007e904bdaed5e88ae44db77ef10f"},
      {"PostCompact", "x", none, "02ce829a434e5d38a9d0831ba0a5a3a286125c72e372f79d9ab2963baa263fb4"},
      {"SessionStart", {}, none, "35e445cb9347e80f0c82503f9b97fe4ad1e8e81305f2c2707b27831ead26848d"},
      {"SessionStart", "x", none, "07ab35e250de83a82c49e2c5612b661d12071a911992a6e96305053269b46831"},
      // SessionEnd's timeout is 1 to 3 s, 1 when none is given; its matcher counts.
      {"SessionEnd", {}, none, "b6dc9a5cbc44bb0b7553bda67c9f94c0c14e492039d0874eadfdef8253f2908d"},
      {"SessionEnd", "x", none, "b28583ea400cbc47a262c160cc8a021ff0b1c0dfb8803a78cff5b9025129fc55"},
      {"SessionEnd", {}, {{"timeout", 2}},
       "d641dab3c274c47278e905cf69f3cb5cc623abdc79e1c642c197b2227b2b48f9"},
      {"SessionEnd", {}, {{"timeout", nullptr}},
       "447b5f2217ccea1da60c6ec0e1aabed69d7112d535d803b5be81532b246fec04"},
      {"SessionEnd", {}, {{"timeout", 0}},
       "447b5f2217ccea1da60c6ec0e1aabed69d7112d535d803b5be81532b246fec04"},
      // UserPromptSubmit, Stop and Interrupt leave their matcher out.
      {"UserPromptSubmit", {}, none,
       "41c77039e83a7b724da52f40fe64439e0025c967bd17c4c590583a9c2afc0b25"},
      {"UserPromptSubmit", "x", none,
       "41c77039e83a7b724da52f40fe64439e0025c967bd17c4c590583a9c2afc0b25"},
      {"UserPromptSubmit", {}, {{"timeout", nullptr}},
       "326a61f47f747ab77caf1aefe4ae5eb0f6bf3ed759b12e04eb4b455ab95e759b"},
      {"SubagentStart", {}, none, "9a3a97b72258665b9842ffcf1a17362d91114cf3355ca3384c28ec7a965f0f76"},
      {"SubagentStart", "x", none,
       "a0976ec2dcccc0b2f3c87f0028fdec3afadaf990ed5b46af4fcbb0d75383df58"},
      {"SubagentStop", {}, none, "e462bc9a006363f01f958526255aaff0344a374a2c4869a43a54b65ede78d59c"},
      {"SubagentStop", "x", none, "7c06b4d1fb787c918a85d68fba922b5f89416c833bd41f5d0c1bd7c2863cb183"},
      {"Stop", {}, none, "e95d991e1ded4f57acae099d8c907f267873842c95005dc01278d06243bd0fe6"},
      {"Stop", "x", none, "e95d991e1ded4f57acae099d8c907f267873842c95005dc01278d06243bd0fe6"},
      {"Stop", {}, {{"timeout", 0}}, "5d671a3d47e8c877194ec2ae2cc07157edd5268b57719a04ff3eee1efda82c35"},
      {"Interrupt", {}, none, "3040bd1b575a8fad8fa50a3d342dc9dc88518fcd966b8692a19e61a85efec97d"},
      {"Interrupt", "x", none, "3040bd1b575a8fad8fa50a3d342dc9dc88518fcd966b8692a19e61a85efec97d"},
      {"Interrupt", {}, {{"timeout", nullptr}},
       "2f34a879c396f7028fad6d22e5a6d54fe67f10f9b0654375ee7f6c67099c8411"},
      {"Interrupt", {}, {{"timeout", 600}},
       "3040bd1b575a8fad8fa50a3d342dc9dc88518fcd966b8692a19e61a85efec97d"},
  };
  for (const Row& row : rows) {
    Json handler = codex_handler(row.event);
    for (const auto& [key, value] : row.changes.items()) {
      if (value.is_null()) handler.erase(key);
      else handler[key] = value;
    }
    EXPECT_EQ(codex_trusted_hash(row.event, row.matcher, handler, FolderRule::kPosix),
              "sha256:" + std::string(row.hash))
        << row.event << " " << row.matcher.value_or("(no matcher)") << " " << row.changes;
  }
}

// On Windows Codex runs, and hashes, commandWindows in command's place.
TEST(HookFiles, CodexHashOnWindows) {
  Json handler = codex_handler("Stop");
  Json as_run = handler;
  as_run["command"] = handler["commandWindows"];
  as_run.erase("commandWindows");
  auto windows = codex_trusted_hash("Stop", {}, handler, FolderRule::kWindows);
  ASSERT_TRUE(windows);
  EXPECT_EQ(windows, codex_trusted_hash("Stop", {}, as_run, FolderRule::kPosix));
  EXPECT_NE(windows, codex_trusted_hash("Stop", {}, handler, FolderRule::kPosix));
  handler.erase("commandWindows");
  EXPECT_EQ(codex_trusted_hash("Stop", {}, handler, FolderRule::kWindows),
            codex_trusted_hash("Stop", {}, handler, FolderRule::kPosix));
}

TEST(HookFiles, CodexHashRefusesWhatCodexWouldNotRun) {
  const char* rows[] = {
      R"([])",
      R"({"command": "v"})",
      R"({"type": "prompt", "command": "v"})",
      R"({"type": "command"})",
      R"({"type": "command", "command": " \t"})",
      R"({"type": "command", "command": 5})",
      R"({"type": "command", "command": "v", "timeout": -1})",
      R"({"type": "command", "command": "v", "timeout": 18446744073709551616})",
      R"({"type": "command", "command": "v", "timeout": 1.5})",
      R"({"type": "command", "command": "v", "timeout": "5"})",
      R"({"type": "command", "command": "v", "async": 1})",
      R"({"type": "command", "command": "v", "statusMessage": true})",
      R"({"type": "command", "command": "v", "commandWindows": 1})",
  };
  for (const char* text : rows) {
    auto handler = parse_json(text);
    ASSERT_TRUE(handler) << text;
    EXPECT_EQ(codex_trusted_hash("Stop", {}, *handler, FolderRule::kPosix), std::nullopt) << text;
  }
  auto plain = parse_json(R"({"type": "command", "command": "v", "commandWindows": null})");
  EXPECT_TRUE(codex_trusted_hash("Stop", {}, *plain, FolderRule::kWindows));
}

}  // namespace
}  // namespace vesk::agents
