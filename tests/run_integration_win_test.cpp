// `vesk run` interrupted as a console does it.
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

// Ctrl+C reaches every process on the console, vesk and its child: the
// child ends by it (with status 42), vesk passes that on and still releases
// both holds.
TEST(VeskRunWin, InterruptReleasesBothHoldsAndPassesTheStatusOn) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  app.start();
  const std::string go = platform::join_path(box.root(), "go");
  platform::SpawnOptions options;
  options.new_console = true;
  options.capture_output = true;
  options.env = box.env();
  auto vesk = platform::Process::start(
      built_program("vesk"), {"run", "--", built_program("vesk-testchild"), "interrupt", go},
      options);
  ASSERT_TRUE(vesk) << vesk.message();
  platform::ProcessOutput output;
  std::thread reader([&] {
    if (auto read = vesk->communicate()) output = std::move(*read);
  });
  // Its own hold, the child's, and the release of its own: vesk now waits,
  // and the child presses Ctrl+C once told to.
  for (int i = 0; i < 1000 && app.requests().size() < 3; ++i) platform::sleep_ms(10);
  EXPECT_EQ(app.requests().size(), 3u);
  EXPECT_TRUE(platform::write_file(go, ""));
  reader.join();

  auto run = vesk->wait();
  ASSERT_TRUE(run) << run.message();
  EXPECT_EQ(run->code, 42) << output.out;
  EXPECT_EQ(output.err, "");
  auto seen = app.requests();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[2].text, R"({"args":{"id":"1"},"cmd":"release"})");
  EXPECT_EQ(seen[3].text, R"({"args":{"id":"2"},"cmd":"release"})");
  EXPECT_TRUE(app.holds().empty());
}

}  // namespace
}  // namespace vesk
