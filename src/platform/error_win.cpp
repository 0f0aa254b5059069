#include "platform/error.h"

#include "platform/win_handle.h"

namespace vesk::platform {

int last_os_error() { return static_cast<int>(GetLastError()); }

std::string os_error_text(int code) { return os_error_text(code, {}); }

std::string os_error_text(int code, std::string_view subject) {
  std::string suffix = " (os error " + std::to_string(code) + ")";
  wchar_t* buf = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_ALLOCATE_BUFFER,
                           nullptr, static_cast<DWORD>(code), 0,
                           reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
  std::wstring_view text;
  if (n != 0 && buf != nullptr) text = std::wstring_view(buf, n);
  // The system ends its messages with CR LF (sometimes a space before it);
  // the rest of the text stays as the system wrote it.
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' ||
                           text.back() == L' ' || text.back() == L'\t')) {
    text.remove_suffix(1);
  }
  std::string message = text.empty() ? "error " + std::to_string(code)
                                     : fill_message_inserts(win::narrow(text), subject);
  if (buf != nullptr) LocalFree(buf);
  return message + suffix;
}

Error last_error() { return Error{os_error_text(last_os_error())}; }

}  // namespace vesk::platform
