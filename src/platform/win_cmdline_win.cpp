#include <algorithm>
#include "platform/win_cmdline.h"

#include "platform/spawn.h"

namespace vesk::platform::win {

namespace {

Error batch_invalid() { return Error{std::string(kBatchArgumentsInvalid)}; }

bool is_ascii_alnum(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Characters a batch argument may hold without quotes. Everything else is
// quoted: cmd's operators and separators (& | < > ^ ( ) , ; = space, tab),
// quotes, '%' and '!', any other punctuation, control characters and all
// non-ASCII text (cmd has treated some of it, such as U+00A0 and U+00FF, as
// a separator).
bool plain_batch_char(wchar_t c) {
  return is_ascii_alnum(c) || std::wstring_view(L"#$*+-./:?@\\_").find(c) != std::wstring_view::npos;
}

wchar_t ascii_lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? c + (L'a' - L'A') : c; }

bool ends_with_ci(std::wstring_view text, std::wstring_view suffix) {
  if (text.size() < suffix.size()) return false;
  text = text.substr(text.size() - suffix.size());
  for (size_t i = 0; i < suffix.size(); ++i) {
    if (ascii_lower(text[i]) != suffix[i]) return false;
  }
  return true;
}

}  // namespace

void append_argument(std::wstring& line, std::wstring_view arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
    line += arg;
    return;
  }
  line += L'"';
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') {
      ++backslashes;
      ++i;
    }
    if (i == arg.size()) {
      // Before the closing quote.
      line.append(backslashes * 2, L'\\');
      break;
    }
    if (arg[i] == L'"') {
      line.append(backslashes * 2 + 1, L'\\');
      line += L'"';
    } else {
      line.append(backslashes, L'\\');
      line += arg[i];
    }
  }
  line += L'"';
}

Result<std::wstring> program_command_line(std::wstring_view argv0,
                                          const std::vector<std::wstring>& args) {
  // A NUL would silently cut the line short.
  if (argv0.find_first_of(std::wstring_view(L"\"\0", 2)) != std::wstring_view::npos) {
    return Error{"the program name cannot hold a quote or a NUL character"};
  }
  std::wstring line;
  line += L'"';
  line += argv0;
  line += L'"';
  for (const std::wstring& arg : args) {
    if (arg.find(L'\0') != std::wstring::npos) {
      return Error{"an argument holds a NUL character"};
    }
    line += L' ';
    append_argument(line, arg);
  }
  return line;
}

bool is_batch_file(std::wstring_view path) {
  return ends_with_ci(path, L".bat") || ends_with_ci(path, L".cmd");
}

std::vector<std::wstring> program_extensions(std::wstring_view pathext) {
  static constexpr std::wstring_view kKnown[] = {L".com", L".exe", L".bat", L".cmd"};
  std::vector<std::wstring> out;
  while (!pathext.empty()) {
    size_t semi = pathext.find(L';');
    std::wstring_view entry = pathext.substr(0, semi);
    pathext = semi == std::wstring_view::npos ? std::wstring_view() : pathext.substr(semi + 1);
    for (std::wstring_view known : kKnown) {
      bool listed = std::find(out.begin(), out.end(), known) != out.end();
      if (entry.size() == known.size() && ends_with_ci(entry, known) && !listed) {
        out.emplace_back(known);
      }
    }
  }
  if (out.empty()) out.assign(std::begin(kKnown), std::end(kKnown));
  return out;
}

// How a batch argument is written, for cmd.exe started with
// `/e:ON /v:OFF /d /c "..."` (command extensions on, delayed expansion off,
// no AutoRun):
//
// - An argument holding a control character other than tab (U+0000-U+0008,
//   U+000A-U+001F: NUL, CR and LF among them, which would end or split the
//   line) is refused.
// - It is quoted when it is empty, ends in a backslash, or holds any
//   character outside ASCII letters, digits and # $ * + - . / : ? @ \ _.
//   Inside quotes cmd takes & | < > ^ ( ) , ; = and white space literally.
// - A quote inside is doubled (""): cmd sees a quoted run end and a new one
//   begin, so nothing between is ever unquoted. The backslashes before it
//   are doubled, and so are those at the end of a quoted argument, so that
//   a program handed %* by the batch file reads the intended text by the C
//   runtime's rules.
// - Every % becomes %%cd:~,% (needs command extensions). cmd expands
//   variables before it looks at quotes; this way the first % is left alone
//   (no name follows it) and %cd:~,% is an empty substring of the current
//   folder, so a %NAME% in the text can never expand. The batch file's %1
//   receives the plain %.
// - Delayed expansion (!NAME!) is off through /v:OFF.
//
// The batch file sees each quoted argument with its quotes in %1 (and
// without the outer pair in %~1), as with any quoted argument.
Status append_batch_argument(std::wstring& line, std::wstring_view arg) {
  bool quote = arg.empty() || arg.back() == L'\\';
  for (wchar_t c : arg) {
    if (c < 0x20 && c != L'\t') return batch_invalid();
    if (!plain_batch_char(c)) quote = true;
  }
  if (quote) line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      line += c;
      continue;
    }
    if (c == L'"') {
      line.append(backslashes, L'\\');
      line += L"\"\"";
    } else if (c == L'%') {
      line += L"%%cd:~,%";
    } else {
      line += c;
    }
    backslashes = 0;
  }
  if (quote) {
    line.append(backslashes, L'\\');
    line += L'"';
  }
  return {};
}

Result<std::wstring> batch_command_line(std::wstring_view script,
                                        const std::vector<std::wstring>& args) {
  // The path sits in plain quotes and reaches cmd as the command word, kept
  // free of any rewriting: a quote would end the quotes (no file name holds
  // one), and a % could expand a variable, so both are refused, as is
  // anything that cannot be a file path.
  if (script.empty() || script.back() == L'\\' ||
      script.find_first_of(L"\"%") != std::wstring_view::npos) {
    return batch_invalid();
  }
  for (wchar_t c : script) {
    if (c < 0x20) return batch_invalid();
  }
  // With /c and without /s, cmd removes the first and the last quote of the
  // rest of the line when it holds more than two quotes, which it always
  // does here: the outer pair only wraps the command.
  std::wstring line = L"cmd.exe /e:ON /v:OFF /d /c \"\"";
  line += script;
  line += L'"';
  for (const std::wstring& arg : args) {
    line += L' ';
    TRY(append_batch_argument(line, arg));
  }
  line += L'"';
  return line;
}

}  // namespace vesk::platform::win
