// What `vesk connect` writes, read back by other programs' parsers (Python's
// tomllib and json), with paths only POSIX allows: quotes, backslashes and
// control characters in folder names.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "agents_files.h"
#include "platform/env.h"
#include "platform/fs.h"

namespace vesk {
namespace {

using platform::join_path;
using testing::AgentProfile;

// python3 from PATH, when it is there.
std::string find_python() {
  auto path = platform::get_env("PATH");
  if (!path) return {};
  size_t start = 0;
  while (start <= path->size()) {
    size_t end = path->find(':', start);
    if (end == std::string::npos) end = path->size();
    std::string candidate = join_path(path->substr(start, end - start), "python3");
    if (end > start && platform::file_exists(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

// Runs a Python script with arguments and keeps its standard output.
::testing::AssertionResult python(const std::string& py, const std::string& script,
                                  const std::vector<std::string>& args, std::string& out) {
  std::vector<std::string> all{"-c", script};
  all.insert(all.end(), args.begin(), args.end());
  auto run = platform::run_captured(py, all);
  if (!run) return ::testing::AssertionFailure() << "python3 did not run: " << run.message();
  if (run->exit_code != 0) {
    return ::testing::AssertionFailure() << "python3 failed: " << run->err;
  }
  out = run->out;
  return ::testing::AssertionSuccess();
}

// Prints the Codex entry's command (as UTF-8 bytes) and args, and the other
// top-level keys, after tomllib has read the whole file.
const char kReadToml[] = R"(
import sys, tomllib
with open(sys.argv[1], "rb") as f:
    doc = tomllib.load(f)
entry = doc["mcp_servers"]["vesk"]
out = sys.stdout.buffer
out.write(entry["command"].encode("utf-8") + b"\n")
out.write(repr(entry["args"]).encode() + b"\n")
out.write(repr(sorted(k for k in doc if k != "mcp_servers")).encode() + b"\n")
out.write(repr(sorted(doc["mcp_servers"])).encode())
)";

// Checks the rewritten .claude.json against the original: the same values
// apart from the added entry, written as Python writes sorted, indented JSON.
const char kCheckJson[] = R"(
import sys, json
new_text = open(sys.argv[1], encoding="utf-8").read()
new = json.loads(new_text)
old = json.loads(open(sys.argv[2], encoding="utf-8").read())
entry = new["mcpServers"].pop("vesk")
if not isinstance(old.get("mcpServers"), dict):
    old["mcpServers"] = {}
old["mcpServers"].pop("vesk", None)
assert new == old, (new, old)
assert entry == {"args": ["mcp"], "command": sys.argv[3], "env": {}, "type": "stdio"}, entry
sys.stdout.write("ok")
)";

class AgentFilesPosix : public ::testing::Test {
 protected:
  void SetUp() override {
    py_ = find_python();
    if (py_.empty()) GTEST_SKIP() << "python3 is not installed";
    std::string out;
    if (!python(py_, "import tomllib", {}, out)) GTEST_SKIP() << "python3 has no tomllib";
  }
  std::string py_;
};

TEST_F(AgentFilesPosix, TomlReadersAcceptTheAppendedTable) {
  AgentProfile p;
  // A folder name holding everything a TOML string must escape.
  const std::string folder = "odd \"q\" \\b\\ \xC3\xA9 tab\tnl\ndel\x7F";
  ASSERT_TRUE(p.use_copy(folder, "vesk"));
  ASSERT_NE(p.command.find('\n'), std::string::npos);

  ASSERT_TRUE(platform::create_dirs(p.codex_folder()));
  const std::string old =
      "model = \"o3\"\n"
      "# a comment\n"
      "[mcp_servers.other]\n"
      "command = 'C:\\x'\n"
      "[profiles.fast]\n"
      "model = \"o4-mini\"";  // no line break at the end
  ASSERT_TRUE(platform::write_file(p.codex(), old));

  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect", "--no-hooks", "codex"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, run == 0 ? "Codex: Added to Codex. New sessions can use Vesk.\n"
                              : "Codex: Codex already has Vesk.\n");
    EXPECT_EQ(r.err, "");
    std::string out;
    ASSERT_TRUE(python(py_, kReadToml, {p.codex()}, out));
    EXPECT_EQ(out, p.command + "\n['mcp']\n['model', 'profiles']\n['other', 'vesk']");
    EXPECT_EQ(AgentProfile::read(p.codex_backup()), old);
  }
}

TEST_F(AgentFilesPosix, JsonReadersAgreeWithTheRewrittenFile) {
  AgentProfile p;
  ASSERT_TRUE(p.use_copy("odd \"q\" \\b\\ \xC3\xA9 nl\n", "vesk"));
  const std::string old =
      "{\"numUserStartups\": 12, \"ratio\": 0.25, \"big\": 1e300, \"neg\": -7,\n"
      " \"unicode\": \"\\u00e9\\ud83d\\ude00 \xE2\x80\xA6\", \"ctl\": \"a\\u0001\\t\\\"\",\n"
      " \"projects\": {\"/home/a\": {\"allowedTools\": [], \"history\": [{\"display\": \"x\"}]}},\n"
      " \"mcpServers\": {\"zeta\": {\"type\": \"stdio\", \"command\": \"z\", \"args\": [\"1\"]},\n"
      "                 \"vesk\": {\"command\": \"old\"}},\n"
      " \"empty\": {}, \"none\": null, \"yes\": true}";
  ASSERT_TRUE(platform::write_file(p.claude(), old));
  // Someone keeps this file private; so must the rewrite and the backup.
  ASSERT_EQ(::chmod(p.claude().c_str(), 0600), 0);

  for (int run = 0; run < 2; ++run) {
    auto r = p.vesk({"connect", "--no-hooks"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, run == 0 ? "Claude Code: Updated Vesk in Claude Code: it started old. New "
                                "sessions can use Vesk.\n"
                              : "Claude Code: Claude Code already has Vesk.\n");
    EXPECT_EQ(r.err, "");
    std::string out;
    EXPECT_TRUE(python(py_, kCheckJson, {p.claude(), p.claude_backup(), p.command}, out));
    EXPECT_EQ(out, "ok");
    for (const std::string& file : {p.claude(), p.claude_backup()}) {
      struct stat st{};
      ASSERT_EQ(::stat(file.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u) << file;
    }
  }
  EXPECT_EQ(AgentProfile::read(p.claude_backup()), old);  // the second run wrote nothing
}

}  // namespace
}  // namespace vesk

namespace vesk {
namespace {

// Another program (an agent saving its settings) rewrites the file again
// and again while connect runs: its last version is never lost, and no
// backup is ever replaced.
TEST(AgentFilesRace, AnotherWritersLastVersionStays) {
  testing::AgentProfile p;
  const std::string file = p.claude();
  const std::string temp = file + ".theirs";
  constexpr int kVersions = 200;
  int backups = 0;
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(platform::write_file(file, "{\"n\": 0}"));
    pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
      // As editors save: a whole new file renamed over the old one.
      for (int n = 1; n <= kVersions; ++n) {
        std::string text = "{\"n\": " + std::to_string(n) + "}";
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
          ::_exit(1);
        }
        ::close(fd);
        if (::rename(temp.c_str(), file.c_str()) != 0) ::_exit(1);
        ::usleep(300);
      }
      ::_exit(0);
    }
    int status = 0;
    int runs = 0;
    while (::waitpid(writer, &status, WNOHANG) == 0) {
      auto r = p.vesk({"connect", "--no-hooks", "claude"});
      // Added, or left alone because the file never held still.
      EXPECT_TRUE(r.exit_code == 0 ||
                  r.out.find("keeps being changed by another program") != std::string::npos)
          << r.out;
      ++runs;
    }
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_GT(runs, 0);
    const std::string last = p.read(file);
    EXPECT_EQ(last.rfind("{\"n\": " + std::to_string(kVersions), 0), 0u) << last;
  }
  // Every backup is a whole version of the file, each under a name of its own.
  for (const std::string& name : testing::names_in(p.profile)) {
    if (name.rfind(".claude.json.vesk-backup", 0) != 0) continue;
    ++backups;
    EXPECT_EQ(p.read(join_path(p.profile, name)).rfind("{\"n\": ", 0), 0u) << name;
  }
  EXPECT_GT(backups, 0);
}

}  // namespace
}  // namespace vesk
