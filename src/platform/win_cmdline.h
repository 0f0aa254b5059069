// Windows-only: building the command line of a child. A program reads its
// arguments back by the C runtime's rules (CommandLineToArgvW); a batch file
// is run by cmd.exe, which parses the line by its own, much looser rules.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace vesk::platform::win {

// Appends `arg` so that CommandLineToArgvW and the C runtime read it back
// unchanged: quoted when empty or holding white space or a quote; inside
// quotes, backslashes are doubled only where they precede a quote.
void append_argument(std::wstring& line, std::wstring_view arg);

// The command line for a program: `argv0` in plain quotes (the first word
// is read without escapes), then each argument by append_argument. Fails
// when argv0 holds a quote or anything holds a NUL.
Result<std::wstring> program_command_line(std::wstring_view argv0,
                                          const std::vector<std::wstring>& args);

// True when the file name ends in ".bat" or ".cmd", in any letter case.
// Callers must already have refused names ending in dots or spaces, which
// Windows would strip when opening the file.
bool is_batch_file(std::wstring_view path);

// The extensions that `run` tries, in order, for a program name without
// one: those of `pathext` (PATHEXT, ';'-separated) that are .com, .exe, .bat
// or .cmd in any letter case, lower-cased, each once; when there are none
// (PATHEXT unset or naming none of them), .com, .exe, .bat, .cmd.
std::vector<std::wstring> program_extensions(std::wstring_view pathext);

// Appends one argument for a batch file run through
// `cmd.exe /e:ON /v:OFF /d /c "..."`; fails with kBatchArgumentsInvalid for
// an argument that cannot be passed safely. See win_cmdline_win.cpp for the
// rules.
Status append_batch_argument(std::wstring& line, std::wstring_view arg);

// The whole command line for cmd.exe to run the batch file `script` (a full
// path) with `args`: `cmd.exe /e:ON /v:OFF /d /c ""<script>" <args>"`.
// Fails with kBatchArgumentsInvalid when the script path holds a quote or a
// percent sign, or an argument cannot be passed safely.
Result<std::wstring> batch_command_line(std::wstring_view script,
                                        const std::vector<std::wstring>& args);

}  // namespace vesk::platform::win
