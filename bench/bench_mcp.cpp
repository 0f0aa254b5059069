// Benchmarks of `vesk mcp` over pipes, against the in-process stand-in tray
// app answering at once:
//   ping        messages per second, the requests written as fast as the
//               server takes them
//   tools/list  likewise (each answer is about 4 KB)
//   tools/call  the time from writing one "status" call to reading its
//               response, one call at a time: median and 90th percentile,
//               for the handshake era and the stateless one (requests
//               with params._meta), alternating in one session
//   end         the time from closing the server's input to its exit, with
//               the tray app answering and with one that takes no requests
//               (clients stop a server that is not gone 2 s after that)
// The throughput runs count from starting the server to its last answer.
// Usage: vesk_mcp_bench [pings] [lists] [calls]   (default 200000 20000 500)
//
// POSIX only (like the other benchmarks it runs on the Linux build): the
// call latency needs a child whose pipes stay open between messages.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_common.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "standin/standin.h"

extern char** environ;

using namespace vesk;

namespace {

using bench::percentile;

// `vesk mcp` with its standard input and output kept open.
class Session {
 public:
  bool start(const std::string& vesk, const std::string& appdata) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> env_s{"APPDATA=" + appdata};
    for (char** e = environ; *e; ++e) {
      if (std::string(*e).rfind("APPDATA=", 0) != 0) env_s.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (auto& e : env_s) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string arg0 = vesk, arg1 = "mcp";
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    int rc = ::posix_spawn(&pid_, vesk.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    to_ = in[1];
    from_ = out[0];
    return rc == 0;
  }

  bool send(const std::string& line) {
    std::string_view rest = line;
    while (!rest.empty()) {
      ssize_t n = ::write(to_, rest.data(), rest.size());
      if (n <= 0) return false;
      rest.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

  // One response line, without its "\n".
  bool receive(std::string& line) {
    for (;;) {
      size_t nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return true;
      }
      char chunk[65536];
      ssize_t n = ::read(from_, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  void close_input() {
    if (to_ >= 0) ::close(to_);
    to_ = -1;
  }

  int finish() {
    close_input();
    ::close(from_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  std::string buffer_;
};

// Messages per second for `count` copies of a request, written by a second
// thread as fast as the server takes them while this one reads the answers.
bool throughput(const std::string& vesk, const std::string& appdata, const char* name,
                const std::string& method, size_t count) {
  std::string input;
  for (size_t i = 0; i < count; ++i) {
    input += R"({"jsonrpc":"2.0","id":)" + std::to_string(i) + R"(,"method":")" + method + "\"}\n";
  }
  uint64_t start = platform::monotonic_ns();
  Session session;
  if (!session.start(vesk, appdata)) {
    std::fprintf(stderr, "vesk mcp did not start\n");
    return false;
  }
  std::thread writer([&] {
    (void)session.send(input);
    session.close_input();
  });
  size_t answered = 0, bytes = 0;
  std::string line;
  while (answered < count && session.receive(line)) {
    ++answered;
    bytes += line.size() + 1;
  }
  uint64_t end = platform::monotonic_ns();
  writer.join();
  int status = session.finish();
  if (answered != count || status != 0) {
    std::fprintf(stderr, "%s: %zu of %zu answered, exit status %d\n", name, answered, count,
                 status);
    return false;
  }
  double seconds = static_cast<double>(end - start) / 1e9;
  std::printf("%-11s %9zu messages in %7.3f s: %10.0f messages/s  (%.1f MB out)\n", name, count,
              seconds, static_cast<double>(count) / seconds, static_cast<double>(bytes) / 1e6);
  return true;
}

// The "status" call in either era.
std::string status_call(size_t id, bool stateless) {
  std::string params = R"({"name":"status","arguments":{})";
  if (stateless) {
    params += R"(,"_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28",)"
              R"("io.modelcontextprotocol/clientCapabilities":{},)"
              R"("io.modelcontextprotocol/clientInfo":{"name":"bench","version":"1"}})";
  }
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
         R"(,"method":"tools/call","params":)" + params + "}}\n";
}

// tools/call latency in both eras, the calls alternating in one session so
// that both see the same machine.
bool call_latency(const std::string& vesk, const std::string& appdata, size_t calls) {
  Session session;
  if (!session.start(vesk, appdata)) {
    std::fprintf(stderr, "vesk mcp did not start\n");
    return false;
  }
  std::vector<double> ms[2];
  const size_t warm_up = 20;
  bool ok = true;
  for (size_t i = 0; i < 2 * (calls + warm_up) && ok; ++i) {
    bool stateless = i % 2 == 1;
    std::string response;
    uint64_t start = platform::monotonic_ns();
    ok = session.send(status_call(i, stateless)) && session.receive(response);
    uint64_t end = platform::monotonic_ns();
    if (ok && response.find(R"("isError":false)") == std::string::npos) {
      std::fprintf(stderr, "tools/call failed: %s\n", response.c_str());
      ok = false;
    }
    if (ok && stateless && response.find(R"("resultType":"complete")") == std::string::npos) {
      std::fprintf(stderr, "stateless tools/call without its result type: %s\n",
                   response.c_str());
      ok = false;
    }
    if (i >= 2 * warm_up) ms[stateless].push_back(static_cast<double>(end - start) / 1e6);
  }
  int status = session.finish();
  if (!ok || status != 0) return false;
  double handshake = percentile(ms[0], 0.5), stateless = percentile(ms[1], 0.5);
  std::printf("tools/call  %9zu calls, handshake: median %.3f ms, 90th percentile %.3f ms\n",
              ms[0].size(), handshake, percentile(ms[0], 0.9));
  std::printf("tools/call  %9zu calls, stateless: median %.3f ms, 90th percentile %.3f ms "
              "(%+.1f %% against the handshake)\n",
              ms[1].size(), stateless, percentile(ms[1], 0.9),
              handshake > 0 ? (stateless / handshake - 1) * 100 : 0.0);
  return true;
}

// The time from closing the input of a session that answered one ping to
// its exit.
bool session_end(const std::string& vesk, const std::string& appdata, const char* name) {
  Session session;
  std::string response;
  if (!session.start(vesk, appdata) ||
      !session.send(R"({"jsonrpc":"2.0","id":1,"method":"ping"})" "\n") ||
      !session.receive(response)) {
    std::fprintf(stderr, "%s: vesk mcp did not answer\n", name);
    return false;
  }
  uint64_t start = platform::monotonic_ns();
  int status = session.finish();
  uint64_t end = platform::monotonic_ns();
  std::printf("%-24s exit %d after %.3f s\n", name, status,
              static_cast<double>(end - start) / 1e9);
  return status == 0;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  size_t pings = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200000;
  size_t lists = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 20000;
  size_t calls = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 500;

  auto app_data = bench::make_app_data("vesk-mcp-bench-");
  if (!app_data) return 1;
  const std::string* root = &app_data->root;
  standin::StandIn app(app_data->folder);
  app.script("status", [](const standin::Request&) {
    return Json{{"ok", true}, {"status", "Keeping awake while an agent works."}};
  });
  app.start();
  std::string vesk = bench::sibling("vesk");

  bool ok = throughput(vesk, *root, "ping", "ping", pings) &&
            throughput(vesk, *root, "tools/list", "tools/list", lists);

  ok = ok && (calls == 0 || call_latency(vesk, *root, calls));
  ok = ok && session_end(vesk, *root, "end (tray app answers)");

  // A tray app whose heartbeat is fresh but that takes no requests.
  std::string stuck_folder = platform::join_path(*root, "stuck");
  (void)platform::create_dirs(platform::join_path(stuck_folder, "Vesk"));
  standin::StandIn stuck(platform::join_path(stuck_folder, "Vesk"));
  stuck.leave_requests(true);
  stuck.start();
  ok = ok && session_end(vesk, stuck_folder, "end (tray app stuck)");
  stuck.stop();

  app.stop();
  platform::remove_tree(*root);
  return ok ? 0 : 1;
}
