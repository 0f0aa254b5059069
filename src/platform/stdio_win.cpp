#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "platform/error.h"
#include "platform/stdio.h"
#include "platform/win_handle.h"

namespace vesk::platform {

void use_binary_stdio() {
  // Nothing here reads or writes through the C runtime, but a stray use of
  // it must not turn "\n" into "\r\n" either.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}

namespace {

bool high_surrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// Console input arrives as UTF-16 and is handed out as UTF-8. A high
// surrogate at the end of one read waits for its pair; converted bytes that
// do not fit the caller's buffer wait for the next call.
Result<size_t> read_console(HANDLE h, char* buffer, size_t capacity) {
  static std::string pending;
  static char16_t held_high = 0;
  while (pending.empty()) {
    wchar_t wide[4096];
    DWORD got = 0;
    if (!ReadConsoleW(h, wide, 4096, &got, nullptr)) return last_error();
    if (got == 0) return size_t{0};
    std::u16string text;
    if (held_high != 0) text.push_back(held_high);
    held_high = 0;
    text.append(reinterpret_cast<const char16_t*>(wide), got);
    // Ctrl+Z at the start of a line ends console input, as it does for
    // other console programs.
    if (text.front() == 0x1A) return size_t{0};
    if (high_surrogate(text.back())) {
      held_high = text.back();
      text.pop_back();
    }
    pending = utf16_to_utf8(text);
  }
  size_t n = pending.size() < capacity ? pending.size() : capacity;
  std::memcpy(buffer, pending.data(), n);
  pending.erase(0, n);
  return n;
}

}  // namespace

Result<size_t> read_stdin(char* buffer, size_t capacity) {
  HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
  if (h == nullptr || h == INVALID_HANDLE_VALUE || capacity == 0) return size_t{0};
  DWORD mode = 0;
  if (GetConsoleMode(h, &mode)) return read_console(h, buffer, capacity);

  DWORD want = capacity < (1u << 30) ? static_cast<DWORD>(capacity) : (1u << 30);
  DWORD got = 0;
  if (!ReadFile(h, buffer, want, &got, nullptr)) {
    DWORD code = GetLastError();
    // The writer closed its end of the pipe: the end of input.
    if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF) return size_t{0};
    return Error{os_error_text(static_cast<int>(code))};
  }
  return static_cast<size_t>(got);
}

}  // namespace vesk::platform
