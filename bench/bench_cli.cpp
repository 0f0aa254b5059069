// Benchmarks of the command-line program, side by side in one run:
//   vesk version        against /bin/true: start-up cost and peak memory
//   vesk status         against the in-process stand-in answering at once
//   vesk run -- true    against /bin/true: the cost of the two holds and
//                       releases around a command
//   vesk doctor         with 400,000 entries in touched.json (a few runs):
//                       reading the journal must stay linear
//   vesk hook           against /bin/true: a turn's start and end (each one
//                       request) with the stand-in answering, the same with
//                       no tray app running, and with one that never answers
// Peak memory comes from wait4 and is an upper bound: it also counts the
// benchmark itself at the moment it starts the child.
// Usage: vesk_bench [runs]   (default 200). Prints medians in milliseconds.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_common.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "standin/standin.h"
#include "support/child.h"

using namespace vesk;

namespace {

struct Series {
  std::string name;
  std::string program;
  std::vector<std::string> args;
  std::vector<double> ms;
  uint64_t peak_kib = 0;
};

double median(const std::vector<double>& v) { return bench::percentile(v, 0.5); }

// `vesk doctor` over a touched journal of `entries` entries of ended
// processes; prints the median of three runs.
bool doctor_with_many_entries(const std::string& vesk, int entries) {
  auto app_data = bench::make_app_data("vesk-bench-doctor-");
  if (!app_data) return false;
  std::string journal = "[";
  for (int i = 0; i < entries; ++i) {
    if (i > 0) journal += ",";
    journal += "{\"pid\":" + std::to_string(100000 + i) +
               ",\"exe\":\"app\",\"start\":133500000000000000,\"paused\":true,"
               "\"previous\":32,\"unit\":null}";
  }
  journal += "]";
  if (!platform::write_file(platform::join_path(app_data->folder, "touched.json"), journal)) {
    std::fprintf(stderr, "couldn't write the touched journal\n");
    return false;
  }
  std::vector<double> ms;
  for (int i = 0; i < 3; ++i) {
    uint64_t start = platform::monotonic_ns();
    auto run = platform::run_captured(vesk, {"doctor"}, {{"APPDATA", app_data->root}});
    uint64_t end = platform::monotonic_ns();
    if (!run || run->exit_code != 0) {
      std::fprintf(stderr, "vesk doctor failed: %s\n",
                   run ? run->err.c_str() : run.message().c_str());
      return false;
    }
    ms.push_back(static_cast<double>(end - start) / 1e6);
  }
  platform::remove_tree(app_data->root);
  std::printf("vesk doctor, %d touched entries: %.1f ms (median of 3)\n", entries, median(ms));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  auto app_data = bench::make_app_data("vesk-bench-");
  if (!app_data) return 1;
  const std::string* root = &app_data->root;
  standin::StandIn app(app_data->folder);
  app.start();
  platform::EnvChanges env{{"APPDATA", *root}};

  std::string vesk = bench::sibling("vesk");
  // The hooks' agent is this benchmark, and no tray app runs beside the
  // second app folder.
  const std::string self = std::to_string(platform::current_pid());
  env.push_back({"CLAUDE_PID", self});
  auto no_app = bench::make_app_data("vesk-bench-noapp-");
  if (!no_app) return 1;
  platform::EnvChanges no_app_env{{"APPDATA", no_app->root}, {"CLAUDE_PID", self}};
  std::vector<Series> series = {
      {"/bin/true", "/bin/true", {}, {}, 0},
      {"vesk version", vesk, {"version"}, {}, 0},
      {"vesk status", vesk, {"status"}, {}, 0},
      {"vesk run -- true", vesk, {"run", "--", "/bin/true"}, {}, 0},
      {"vesk hook, start", vesk, {"hook", "claude", "UserPromptSubmit"}, {}, 0},
      {"vesk hook, end", vesk, {"hook", "claude", "Stop"}, {}, 0},
      {"hook, no tray app", vesk, {"hook", "claude", "UserPromptSubmit"}, {}, 0},
  };
  // Interleaved, so that every series sees the same machine.
  for (int i = 0; i < runs; ++i) {
    for (Series& s : series) {
      uint64_t start = platform::monotonic_ns();
      auto run = platform::run_captured(s.program, s.args,
                                        s.name == "hook, no tray app" ? no_app_env : env);
      uint64_t end = platform::monotonic_ns();
      if (!run || run->exit_code != 0) {
        std::fprintf(stderr, "%s failed: %s\n", s.name.c_str(),
                     run ? run->err.c_str() : run.message().c_str());
        return 1;
      }
      s.ms.push_back(static_cast<double>(end - start) / 1e6);
      s.peak_kib = std::max(s.peak_kib, run->peak_memory_kib);
    }
  }
  // A tray app that takes requests and never answers: the hook gives up
  // within its second.
  app.leave_requests(false);
  app.script("hold", [](const standin::Request&) { return std::optional<Json>(); });
  std::vector<double> silent;
  for (int i = 0; i < 3; ++i) {
    uint64_t start = platform::monotonic_ns();
    auto run = platform::run_captured(vesk, {"hook", "claude", "UserPromptSubmit"}, env);
    silent.push_back(static_cast<double>(platform::monotonic_ns() - start) / 1e6);
    if (!run || run->exit_code != 0) {
      std::fprintf(stderr, "vesk hook failed against a silent tray app\n");
      return 1;
    }
  }
  app.stop();
  platform::remove_tree(*root);
  platform::remove_tree(no_app->root);

  std::printf("%-18s %10s %16s   (%d runs each)\n", "command", "median ms", "peak KiB (max)", runs);
  for (const Series& s : series) {
    std::printf("%-18s %10.3f %16llu\n", s.name.c_str(), median(s.ms),
                static_cast<unsigned long long>(s.peak_kib));
  }
  std::printf("vesk version - /bin/true: %.3f ms\n", median(series[1].ms) - median(series[0].ms));
  std::printf("vesk run -- true - /bin/true: %.3f ms\n", median(series[3].ms) - median(series[0].ms));
  for (size_t k : {size_t{4}, size_t{5}, size_t{6}}) {
    std::printf("%s - /bin/true: %.3f ms\n", series[k].name.c_str(),
                median(series[k].ms) - median(series[0].ms));
  }
  std::printf("hook, tray app never answers: %.1f ms (median of 3)\n", median(silent));
  return doctor_with_many_entries(vesk, 400000) ? 0 : 1;
}
