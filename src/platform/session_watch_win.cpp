#include <atomic>
#include <system_error>
#include <thread>

#include "platform/session_watch.h"
#include "platform/win_session_window.h"

namespace vesk::platform {
namespace {

constexpr wchar_t kClassName[] = L"VeskPowerWindow";
constexpr wchar_t kTitle[] = L"Vesk";

// GUID_LIDSWITCH_STATE_CHANGE.
constexpr GUID kLidSwitchStateChange = {
    0xba3e0f4d, 0xb817, 0x4094, {0xa2, 0xd1, 0xd5, 0x63, 0x79, 0xe6, 0xa0, 0xf3}};

std::atomic<SessionWatch> g_state{SessionWatch::not_started};
std::atomic<HWND> g_window{nullptr};
std::atomic<SessionEndHandler> g_handler{nullptr};

using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);

// Names the calling thread where the system can (Windows 10 1607 on).
void name_thread(const wchar_t* name) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return;
  auto fn = reinterpret_cast<SetThreadDescriptionFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
  // A name only helps a debugger: the thread works the same without one.
  if (fn != nullptr) (void)fn(GetCurrentThread(), name);
}

class Window {
 public:
  explicit Window(HWND h) : h_(h) {}
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  ~Window() {
    if (h_ != nullptr) DestroyWindow(h_);
  }
  HWND get() const { return h_; }

 private:
  HWND h_;
};

class PowerNotification {
 public:
  explicit PowerNotification(HPOWERNOTIFY h) : h_(h) {}
  PowerNotification(const PowerNotification&) = delete;
  PowerNotification& operator=(const PowerNotification&) = delete;
  ~PowerNotification() {
    if (h_ != nullptr) UnregisterPowerSettingNotification(h_);
  }

 private:
  HPOWERNOTIFY h_;
};

void watcher_thread() {
  name_thread(L"vesk-power");
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW wc{};
  wc.lpfnWndProc = win::session_window_proc;
  wc.hInstance = instance;
  wc.lpszClassName = kClassName;
  // A class left registered by an earlier watcher whose window failed is
  // still good.
  if (RegisterClassW(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    g_state.store(SessionWatch::not_started);
    return;
  }
  Window window(CreateWindowExW(0, kClassName, kTitle, 0, 0, 0, 0, 0, nullptr, nullptr,
                                instance, nullptr));
  if (window.get() == nullptr) {
    g_state.store(SessionWatch::not_started);
    return;
  }
  g_window.store(window.get());
  g_state.store(SessionWatch::running);
  PowerNotification notification(RegisterPowerSettingNotification(
      window.get(), &kLidSwitchStateChange, DEVICE_NOTIFY_WINDOW_HANDLE));

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);

  g_window.store(nullptr);
  g_state.store(SessionWatch::not_started);
}

}  // namespace

bool start_session_watch(SessionEndHandler on_session_end) {
  SessionWatch expected = SessionWatch::not_started;
  if (!g_state.compare_exchange_strong(expected, SessionWatch::starting)) return false;
  g_handler.store(on_session_end);
  try {
    std::thread(watcher_thread).detach();
  } catch (const std::system_error&) {
    g_state.store(SessionWatch::not_started);
    return false;
  }
  return true;
}

SessionWatch session_watch_state() { return g_state.load(); }

namespace win {

LRESULT CALLBACK session_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_POWERBROADCAST:
      if (wparam == PBT_POWERSETTINGCHANGE && lparam != 0) return TRUE;
      break;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wparam != FALSE) {
        if (SessionEndHandler handler = g_handler.load()) handler();
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

SessionEndHandler exchange_session_end_handler(SessionEndHandler handler) {
  return g_handler.exchange(handler);
}

HWND session_window() { return g_window.load(); }

}  // namespace win
}  // namespace vesk::platform
