// `vesk run` told to stop by a signal sent to it alone, as a supervisor
// does: the child gets it, and vesk waits for the child, releases the hold
// and passes the child's status on.
#include <signal.h>

#include <gtest/gtest.h>

#include <thread>

#include "harness.h"
#include "platform/clock.h"
#include "platform/fs.h"
#include "platform/spawn.h"
#include "standin/standin.h"

namespace vesk {
namespace {

using testing::built_program;
using testing::Sandbox;

TEST(VeskRunSignals, AStopIsHandedToTheChild) {
  struct Row {
    int signal_number;
    int status;  // vesk's: the child's
  };
  // The child ends by SIGTERM with 43 (its handler); SIGHUP ends it by
  // default, 128 + 1.
  for (const Row row : {Row{SIGTERM, 43}, Row{SIGHUP, 129}}) {
    Sandbox box;
    standin::StandIn app(box.app_folder());
    app.start();
    const std::string ready = platform::join_path(box.root(), "ready");
    platform::SpawnOptions options;
    options.capture_output = true;
    options.env = box.env();
    auto vesk = platform::Process::start(
        built_program("vesk"), {"run", "--", built_program("vesk-testchild"), "stop", ready},
        options);
    ASSERT_TRUE(vesk) << vesk.message();
    platform::ProcessOutput output;
    std::thread reader([&] {
      if (auto read = vesk->communicate()) output = std::move(*read);
    });
    for (int i = 0; i < 1000 && (app.requests().size() < 3 || !platform::file_exists(ready)); ++i) {
      platform::sleep_ms(10);
    }
    EXPECT_EQ(app.requests().size(), 3u);
    EXPECT_EQ(::kill(static_cast<pid_t>(vesk->pid()), row.signal_number), 0);
    reader.join();
    auto run = vesk->wait();
    ASSERT_TRUE(run) << run.message();
    EXPECT_EQ(run->code, row.status) << row.signal_number;
    EXPECT_EQ(output.err, "");
    auto seen = app.requests();
    ASSERT_EQ(seen.size(), 4u) << row.signal_number;
    EXPECT_EQ(seen[3].text, R"({"args":{"id":"2"},"cmd":"release"})");
    EXPECT_TRUE(app.holds().empty());
  }
}

}  // namespace
}  // namespace vesk
