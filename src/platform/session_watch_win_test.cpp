#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/session_watch.h"
#include "platform/win_session_window.h"

namespace vesk::platform {
namespace {

std::atomic<int> g_ends{0};
std::atomic<DWORD> g_end_thread{0};
void count_end() {
  g_end_thread = GetCurrentThreadId();
  ++g_ends;
}

// Puts the counting handler in place for one test.
class CountingHandler {
 public:
  CountingHandler() : before_(win::exchange_session_end_handler(&count_end)) { g_ends = 0; }
  ~CountingHandler() { win::exchange_session_end_handler(before_); }

 private:
  SessionEndHandler before_;
};

TEST(SessionWindow, AnswersEachMessage) {
  CountingHandler handler;
  int data = 0;
  LPARAM some = reinterpret_cast<LPARAM>(&data);

  EXPECT_EQ(win::session_window_proc(nullptr, WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_EQ(win::session_window_proc(nullptr, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  EXPECT_EQ(win::session_window_proc(nullptr, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, some),
            TRUE);
  EXPECT_EQ(win::session_window_proc(nullptr, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 0),
            DefWindowProcW(nullptr, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 0));
  EXPECT_EQ(win::session_window_proc(nullptr, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, some),
            DefWindowProcW(nullptr, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, some));
  EXPECT_EQ(win::session_window_proc(nullptr, WM_ENDSESSION, FALSE, 0),
            DefWindowProcW(nullptr, WM_ENDSESSION, FALSE, 0));
  EXPECT_EQ(win::session_window_proc(nullptr, WM_USER + 1, 2, 3),
            DefWindowProcW(nullptr, WM_USER + 1, 2, 3));
  EXPECT_EQ(g_ends.load(), 0);

  EXPECT_EQ(win::session_window_proc(nullptr, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF), 0);
  EXPECT_EQ(g_ends.load(), 1);
}

// Counts the windows of the watcher's class that belong to this process.
int watcher_windows() {
  int n = 0;
  HWND w = nullptr;
  while ((w = FindWindowExW(nullptr, w, L"VeskPowerWindow", L"Vesk")) != nullptr) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == GetCurrentProcessId()) ++n;
  }
  return n;
}

TEST(SessionWatch, OneWatcherWhenStartedAtOnce) {
  bool was_started = session_watch_state() != SessionWatch::not_started;
  std::atomic<int> started{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> callers;
  for (int i = 0; i < 8; ++i) {
    callers.emplace_back([&] {
      while (!go.load()) std::this_thread::yield();
      if (start_session_watch(&count_end)) ++started;
    });
  }
  go = true;
  for (std::thread& t : callers) t.join();
  EXPECT_EQ(started.load(), was_started ? 0 : 1);

  for (int i = 0; i < 250 && session_watch_state() != SessionWatch::running; ++i) sleep_ms(20);
  ASSERT_EQ(session_watch_state(), SessionWatch::running);
  // Once it runs, further calls start nothing either.
  EXPECT_FALSE(start_session_watch(&count_end));
  EXPECT_EQ(watcher_windows(), 1);
  EXPECT_NE(win::session_window(), nullptr);
}

TEST(SessionWatch, TheWindowCallsTheHandlerOnItsThread) {
  // Started here or by an earlier test: the wait below checks that it runs.
  (void)start_session_watch(&count_end);
  for (int i = 0; i < 250 && session_watch_state() != SessionWatch::running; ++i) sleep_ms(20);
  HWND window = win::session_window();
  ASSERT_NE(window, nullptr);
  CountingHandler handler;
  g_end_thread = 0;
  EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_EQ(SendMessageW(window, WM_ENDSESSION, FALSE, 0), 0);
  EXPECT_EQ(g_ends.load(), 0);
  EXPECT_EQ(SendMessageW(window, WM_ENDSESSION, TRUE, 0), 0);
  EXPECT_EQ(g_ends.load(), 1);
  EXPECT_EQ(g_end_thread.load(), GetWindowThreadProcessId(window, nullptr));
  EXPECT_NE(g_end_thread.load(), GetCurrentThreadId());
}

}  // namespace
}  // namespace vesk::platform
