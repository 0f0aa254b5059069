// `vesk completion <shell>`: tab completion scripts, generated from the
// command table and the setting catalogue.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vesk::cli {

// The shells there is a script for.
inline constexpr std::array<std::string_view, 3> kShells{"bash", "zsh", "powershell"};

// The completion script for one of kShells; nullopt for any other word.
// Bash and zsh: command words; `set`'s keys, then that key's allowed values;
// every command's fixed choices; after `run --` a program and its arguments
// as the shell completes them. PowerShell: the same through a native
// argument completer.
std::optional<std::string> completion_script(std::string_view shell);

}  // namespace vesk::cli
