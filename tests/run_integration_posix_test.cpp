// `vesk run` interrupted as a terminal does it.
#include <gtest/gtest.h>
#include <signal.h>

#include "harness.h"
#include "platform/clock.h"
#include "standin/standin.h"

namespace vesk {
namespace {

using testing::built_program;
using testing::Sandbox;

// Ctrl+C sends SIGINT to the whole foreground job, vesk and its child: the
// child ends by it, vesk passes that on and still releases both holds.
TEST(VeskRunPosix, InterruptReleasesBothHoldsAndPassesTheStatusOn) {
  Sandbox box;
  standin::StandIn app(box.app_folder());
  app.start();
  auto vesk = box.start_vesk({"run", "--", built_program("vesk-testchild"), "exit", "0", "30000"});
  ASSERT_TRUE(vesk) << vesk.message();
  // Its own hold, the child's, and the release of its own: vesk now waits.
  for (int i = 0; i < 1000 && app.requests().size() < 3; ++i) platform::sleep_ms(10);
  auto seen = app.requests();
  ASSERT_EQ(seen.size(), 3u);
  const auto child = static_cast<pid_t>(seen[1].args.at("pid").get<uint32_t>());
  ASSERT_EQ(::kill(static_cast<pid_t>(vesk->pid()), SIGINT), 0);
  ASSERT_EQ(::kill(child, SIGINT), 0);

  auto run = vesk->wait();
  ASSERT_TRUE(run) << run.message();
  EXPECT_EQ(run->exit_code, 128 + SIGINT);
  EXPECT_EQ(run->err, "");
  seen = app.requests();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[2].text, R"({"args":{"id":"1"},"cmd":"release"})");
  EXPECT_EQ(seen[3].text, R"({"args":{"id":"2"},"cmd":"release"})");
  EXPECT_TRUE(app.holds().empty());
}

}  // namespace
}  // namespace vesk
