#include "restore/power_watch.h"

#include <gtest/gtest.h>

#include <atomic>

#include "harness.h"
#include "platform/clock.h"
#include "platform/win_session_window.h"
#include "restore/journal.h"
#include "restore/power_settings.h"
#include "restore/rescue.h"
#include "restore/test_fakes.h"

namespace vesk::restore {
namespace {

using platform::PowerSource;
using testing::plan;
using testing::plan_text;

// The session end as the system delivers it: the messages reach the
// watcher's hidden window, whose thread puts back the power settings before
// it answers and writes back the journal with what is left.
TEST(PowerWatch, SessionEndPutsBackBeforeTheWindowAnswers) {
  vesk::testing::TempDir dir;
  testing::FakePower power;
  power.set(plan(1), kPerfBoostMode, PowerSource::dc, 0);
  power.set_lid(plan(2), 0, 0);
  power.fails = [](const testing::PowerCall& c) { return c.op == "write" && c.plan == plan(2); };
  std::atomic<DWORD> thread{0};
  power.on_call = [&](const testing::PowerCall&) { thread = GetCurrentThreadId(); };
  Restore r;
  r.boost_dc = BoostDc{plan_text(1), 2};
  r.lid_more = {{plan_text(2), 3, 4}};
  r.power_profile = "balanced";
  ASSERT_TRUE(write_restore(dir.path(), r));

  // The watcher is handed the put-back of this folder with the fake power
  // settings, as a command hands it the system's; nothing of this test is
  // left in it for a later session end.
  struct Forget {
    ~Forget() { start_power_watch(nullptr); }
  } forget;
  watch_session_end(dir.path(), power);
  for (int i = 0; i < 250 && platform::session_watch_state() != platform::SessionWatch::running;
       ++i) {
    platform::sleep_ms(20);
  }
  HWND window = platform::win::session_window();
  ASSERT_NE(window, nullptr);
  // The window of this process may be another test's, with its own handler:
  // the power watcher's takes its place for the two messages.
  platform::SessionEndHandler before_handler =
      platform::win::exchange_session_end_handler(&power_watch_session_end);
  LRESULT query = SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
  size_t calls_after_query = power.calls.size();
  LRESULT end = SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  platform::win::exchange_session_end_handler(before_handler);

  EXPECT_EQ(query, TRUE);
  EXPECT_EQ(calls_after_query, 0u);
  EXPECT_EQ(end, 0);
  EXPECT_EQ(thread.load(), GetWindowThreadProcessId(window, nullptr));
  EXPECT_EQ(power.get(plan(1), kPerfBoostMode, PowerSource::dc), 2u);
  // What failed stays recorded; the rest is gone.
  Restore left;
  left.lid_more = {{plan_text(2), 3, 4}};
  left.power_profile = "balanced";
  EXPECT_EQ(read_restore(dir.path()), left);
}

}  // namespace
}  // namespace vesk::restore
