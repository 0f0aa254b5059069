// Every example in README.md, run against the stand-in in a sandbox (how
// the examples are read is described at the end of README.md).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "harness.h"
#include "platform/env.h"
#include "platform/fs.h"
#include "ipc/liveness.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace vesk {
namespace {

using testing::Sandbox;

struct Block {
  std::string kind;  // the fence's info string
  int line;          // of the opening fence
  std::vector<std::string> lines;
};

std::vector<Block> readme_blocks() {
  auto text = platform::read_file(std::string(VESK_SOURCE_DIR) + "/README.md");
  EXPECT_TRUE(text) << text.message();
  std::vector<Block> blocks;
  bool inside = false;
  int number = 0;
  size_t pos = 0;
  const std::string all = text ? *text : std::string();
  while (pos < all.size()) {
    size_t end = all.find('\n', pos);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(pos, end - pos);
    pos = end + 1;
    ++number;
    if (line.rfind("```", 0) == 0) {
      if (!inside) blocks.push_back({line.substr(3), number, {}});
      inside = !inside;
    } else if (inside) {
      blocks.back().lines.push_back(line);
    }
  }
  EXPECT_FALSE(inside) << "an unclosed fence";
  return blocks;
}

// Words as a shell splits them: spaces apart, quotes removed.
std::vector<std::string> split_words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  char quote = 0;
  for (char c : line) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        word += c;
      }
    } else if (c == '"' || c == '\'') {
      quote = c;
      in_word = true;
    } else if (c == ' ') {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

// Whether `text` is `pattern`, where "…" in the pattern stands for any text.
bool matches(std::string_view pattern, std::string_view text) {
  constexpr std::string_view kAny = "\xE2\x80\xA6";
  size_t any = pattern.find(kAny);
  if (any == std::string_view::npos) return pattern == text;
  if (text.substr(0, any) != pattern.substr(0, any)) return false;
  std::string_view rest = pattern.substr(any + kAny.size());
  for (size_t skip = any; skip <= text.size(); ++skip) {
    if (matches(rest, text.substr(skip))) return true;
  }
  return false;
}

TEST(Readme, PatternsStandForAnyText) {
  const std::tuple<std::string, std::string, bool> rows[] = {
      {"a\n", "a\n", true},     {"a\n", "b\n", false},          {"a\xE2\x80\xA6", "a b c", true},
      {"x\xE2\x80\xA6z", "xyz", true}, {"x\xE2\x80\xA6z", "xy", false},
      {"a\n\xE2\x80\xA6\n", "a\nb\nc\n", true},
  };
  for (const auto& [pattern, text, result] : rows) EXPECT_EQ(matches(pattern, text), result) << pattern;
}

// Runs one `console` block: a fresh sandbox and stand-in, each command in
// turn, its exit status and the text it prints.
void run_console(const Block& block) {
  Sandbox box;
  // An agent of each kind for `vesk connect`.
  ASSERT_TRUE(platform::write_file(platform::join_path(box.root(), ".claude.json"), "{}"));
  ASSERT_TRUE(platform::create_dirs(platform::join_path(box.root(), ".codex")));
  // The stand-in program: `rescue` and `uninstall` see it end on "quit".
  auto app = platform::Child::start(testing::built_program("vesk-standin"),
                                    {"--folder", box.app_folder()});
  ASSERT_TRUE(app) << app.message();
  for (int i = 0; i < 300 && !ipc::app_alive(box.app_folder()); ++i) platform::sleep_ms(20);
  ASSERT_TRUE(ipc::app_alive(box.app_folder()));

  struct Step {
    std::string command;
    std::string shown;  // the lines after it, each ending in a line feed
    int line;
  };
  std::vector<Step> steps;
  for (size_t i = 0; i < block.lines.size(); ++i) {
    const std::string& line = block.lines[i];
    if (line.rfind("> ", 0) == 0) {
      steps.push_back({line.substr(2), "", block.line + 1 + static_cast<int>(i)});
    } else {
      ASSERT_FALSE(steps.empty()) << "README.md:" << block.line << ": output before a command";
      steps.back().shown += line + "\n";
    }
  }
  int last_status = 0;
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    const std::string where = "README.md:" + std::to_string(step.line) + ": " + step.command;
    if (step.command == "$LASTEXITCODE") {
      EXPECT_EQ(std::to_string(last_status) + "\n", step.shown) << where;
      continue;
    }
    std::vector<std::string> words = split_words(step.command);
    ASSERT_FALSE(words.empty()) << where;
    ASSERT_EQ(words[0], "vesk") << where;
    std::vector<std::string> args(words.begin() + 1, words.end());
    // `run`'s command: the test child, printing its arguments.
    if (!args.empty() && args[0] == "run") {
      auto dashes = std::find(args.begin(), args.end(), "--");
      ASSERT_NE(dashes, args.end()) << where;
      args.insert(dashes + 1, {testing::built_program("vesk-testchild"), "args"});
    }
    auto run = box.vesk(args);
    last_status = run.exit_code;
    bool status_shown = i + 1 < steps.size() && steps[i + 1].command == "$LASTEXITCODE";
    if (!status_shown) {
      EXPECT_EQ(run.exit_code, 0) << where << "\n" << run.err;
    }
    if (!step.shown.empty()) {
      EXPECT_TRUE(matches(step.shown, run.out + run.err))
          << where << "\nshown:\n" << step.shown << "printed:\n" << run.out << run.err;
    }
  }
}

// Runs one `sh` block with bash, the built programs first on PATH.
void run_sh(const Block& block) {
  Sandbox box;
  std::string script;
  const std::string bin = std::string(platform::parent_folder(testing::built_program("vesk")));
  for (std::string line : block.lines) {
    constexpr std::string_view kBin = "build/linux/bin/";
    for (size_t at = line.find(kBin); at != std::string::npos; at = line.find(kBin, at)) {
      line.replace(at, kBin.size(), bin + "/");
      at += bin.size() + 1;
    }
    script += line + "\n";
  }
  std::string path = bin + ":" + platform::get_env("PATH").value_or("/usr/bin:/bin");
  auto run = box.run("/bin/bash", {"--norc", "-ec", script},
                     {{"PATH", path}, {"TMPDIR", box.root()}});
  EXPECT_EQ(run.exit_code, 0) << "README.md:" << block.line << "\n" << script << run.err;
}

// Runs the `vesk` part of each `powershell` line: up to a '|' or a quote.
void run_powershell(const Block& block) {
  Sandbox box;
  for (const std::string& line : block.lines) {
    size_t at = line.find("vesk ");
    if (at == std::string::npos) continue;
    size_t end = line.find_first_of("|'\"", at);
    std::vector<std::string> words = split_words(line.substr(at, end - at));
    auto run = box.vesk({words.begin() + 1, words.end()});
    EXPECT_EQ(run.exit_code, 0) << "README.md:" << block.line << ": " << line << "\n" << run.err;
    EXPECT_FALSE(run.out.empty()) << line;
  }
}

TEST(Readme, EveryExampleRuns) {
  std::map<std::string, int> seen;
  for (const Block& block : readme_blocks()) {
    SCOPED_TRACE("README.md:" + std::to_string(block.line));
    ++seen[block.kind];
    if (block.kind == "console") {
      run_console(block);
    } else if (block.kind == "sh") {
      run_sh(block);
    } else if (block.kind == "powershell") {
      run_powershell(block);
    } else {
      ADD_FAILURE() << "a block this test doesn't run: ```" << block.kind;
    }
  }
  // The guide's examples are all there.
  EXPECT_GE(seen["console"], 6);
  EXPECT_GE(seen["sh"], 3);
  EXPECT_GE(seen["powershell"], 1);
}

}  // namespace
}  // namespace vesk
