#include "platform/args.h"

#include "platform/win_handle.h"

#include <shellapi.h>

namespace vesk::platform {

std::vector<std::string> utf8_args(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(win::narrow(argv[i]));
  return args;
}

namespace {

// `wide` in the ANSI code page, as the C runtime hands it to main().
std::string to_ansi(const wchar_t* wide) {
  int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::wstring from_ansi(const char* text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

}  // namespace

// main(int, char**) gets its arguments in the ANSI code page, where anything
// outside it is already lost. When `argv` is this process's own command line,
// take the arguments from the Unicode command line instead; any other array
// is converted from the ANSI code page.
std::vector<std::string> utf8_args(int argc, char** argv) {
  int wargc = 0;
  if (wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &wargc)) {
    bool same = wargc == argc;
    for (int i = 1; same && i < argc; ++i) same = to_ansi(wargv[i]) == argv[i];
    std::vector<std::string> args;
    if (same) args = utf8_args(wargc, wargv);
    LocalFree(wargv);
    if (same) return args;
  }
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(win::narrow(from_ansi(argv[i])));
  return args;
}

}  // namespace vesk::platform
