#include "platform/task_scheduler.h"

#include <windows.h>
#include <oleauto.h>
#include <taskschd.h>

#include <cstdio>

#include "platform/error.h"
#include "platform/win_handle.h"

namespace vesk::platform {

namespace {

constexpr int kConnectAttempts = 5;
constexpr DWORD kConnectPauseMs = 1000;

// One COM interface pointer, released on destruction.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  T* operator->() const { return p_; }
  T** out() { return &p_; }
  void** out_void() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

// COM for this thread while it lives, when this call started it.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  // A thread already in the other apartment kind can still make the calls.
  bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

// A BSTR freed on destruction.
class Bstr {
 public:
  explicit Bstr(const std::wstring& text) : s_(SysAllocString(text.c_str())) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(s_); }
  BSTR get() const { return s_; }

 private:
  BSTR s_;
};

Error scheduler_error(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) {
    return Error{"Task Scheduler: " + os_error_text(HRESULT_CODE(hr))};
  }
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
  return Error{std::string("Task Scheduler: error ") + code};
}

}  // namespace

Status delete_scheduled_task(const std::string& name) {
  ComScope com;
  if (!com.usable()) return scheduler_error(com.result());
  ComPtr<ITaskService> service;
  HRESULT hr = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ITaskService, service.out_void());
  if (FAILED(hr)) return scheduler_error(hr);
  VARIANT none;
  VariantInit(&none);
  // Connecting starts the scheduler's service when it is stopped, and that
  // can take longer than the call waits for it.
  hr = service->Connect(none, none, none, none);
  for (int attempt = 1; hr == SCHED_E_SERVICE_NOT_RUNNING && attempt < kConnectAttempts;
       ++attempt) {
    Sleep(kConnectPauseMs);
    hr = service->Connect(none, none, none, none);
  }
  if (FAILED(hr)) return scheduler_error(hr);
  ComPtr<ITaskFolder> root;
  Bstr root_path(L"\\");
  hr = service->GetFolder(root_path.get(), root.out());
  if (FAILED(hr)) return scheduler_error(hr);
  Bstr task_path(win::widen(name));
  hr = root->DeleteTask(task_path.get(), 0);
  if (SUCCEEDED(hr) || hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
      hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) {
    return {};
  }
  return scheduler_error(hr);
}

}  // namespace vesk::platform
