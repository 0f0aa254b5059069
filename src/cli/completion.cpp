#include "cli/completion.h"

#include <vector>

#include "base/text.h"
#include "cli/commands.h"
#include "cli/handlers.h"
#include "cli/text.h"
#include "settings/catalogue.h"

namespace vesk::cli {

namespace {

using V = std::string_view;

// One completion rule: the words offered when the line so far reads
// "<command word>/<number of arguments>/<last argument>"; `pattern` is that
// text, ending in '*' when any last argument will do.
struct Rule {
  std::string pattern;
  std::vector<V> words;
};

std::vector<Rule> completion_rules() {
  std::vector<Rule> rules;
  for (const Command& command : commands()) {
    for (V word : command.words) {
      const std::string head = std::string(word) + "/";
      if (command.completes == ArgsComplete::kSetting) {
        auto keys = settings::setting_keys();
        rules.push_back({head + "0/*", {keys.begin(), keys.end()}});
        for (const settings::SettingRow& row : settings::catalogue()) {
          if (row.allowed.empty()) continue;
          rules.push_back({head + "1/" + std::string(row.key), {row.allowed.begin(), row.allowed.end()}});
        }
      }
      if (command.completes == ArgsComplete::kCommand) {
        rules.push_back({head + "0/*", cli::command_words()});
      }
      for (const ArgChoices& choices : command.choices) {
        std::string pattern = head + std::to_string(choices.position) + "/";
        pattern += choices.after.empty() ? "*" : std::string(choices.after);
        rules.push_back({pattern, {choices.words.begin(), choices.words.end()}});
      }
    }
  }
  return rules;
}

// The first word of every command, and the words of the commands that run a
// program.
std::vector<V> shell_command_words(bool program_only) {
  std::vector<V> out;
  for (const Command& command : commands()) {
    if (!program_only) {
      out.push_back(command.words.front());
    } else if (command.completes == ArgsComplete::kProgram) {
      out.insert(out.end(), command.words.begin(), command.words.end());
    }
  }
  return out;
}

// The words in single quotes with `separator` between (no word holds a quote).
std::string quoted(const std::vector<V>& words, V separator) {
  std::string out;
  for (V word : words) {
    if (!out.empty()) out += separator;
    out.append("'").append(word).append("'");
  }
  return out;
}

// A pattern for a shell `case`: the fixed part quoted, the '*' not.
std::string case_pattern(const std::string& pattern) {
  const bool any = !pattern.empty() && pattern.back() == '*';
  std::string out = "'";
  out.append(pattern, 0, pattern.size() - (any ? 1 : 0));
  out += any ? "'*" : "'";
  return out;
}

std::string bash_script() {
  std::string s =
      "# vesk: tab completion for bash, made by `vesk completion bash`.\n"
      "# Load it from ~/.bashrc:  source <(vesk completion bash)\n"
      "_vesk() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} cmd= at=0 prev= words= i w\n"
      "  local -a args=()\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    w=${COMP_WORDS[i]}\n"
      "    [[ $w == --json ]] && continue\n"
      "    if [[ -z $cmd ]]; then cmd=$w at=$i; else args+=(\"$w\"); fi\n"
      "  done\n"
      "  COMPREPLY=()\n"
      "  if [[ -z $cmd ]]; then\n"
      "    words='" + join_words(shell_command_words(false), " ") + "'\n"
      "  else\n"
      "    case $cmd in\n"
      "      " + join_words(shell_command_words(true), "|") + ")\n"
      "        _vesk_program $((at + 1))\n"
      "        return ;;\n"
      "    esac\n"
      "    ((${#args[@]})) && prev=${args[${#args[@]}-1]}\n"
      "    case \"$cmd/${#args[@]}/$prev\" in\n";
  for (const Rule& rule : completion_rules()) {
    s += "      " + case_pattern(rule.pattern) + ") words='" + join_words(rule.words, " ") + "' ;;\n";
  }
  s +=
      "    esac\n"
      "  fi\n"
      "  COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
      "}\n"
      "# After `run`: \"--\", then a program and its arguments as bash completes them.\n"
      "_vesk_program() {\n"
      "  local i=$1 dashes=0\n"
      "  while ((i < COMP_CWORD)) && [[ ${COMP_WORDS[i]} == -- || ${COMP_WORDS[i]} == --json ]]; do\n"
      "    [[ ${COMP_WORDS[i]} == -- ]] && dashes=1\n"
      "    ((i++))\n"
      "  done\n"
      "  if ((i == COMP_CWORD && dashes == 0)) && [[ -- == \"$cur\"* ]]; then\n"
      "    COMPREPLY=(--)\n"
      "  elif declare -F _command_offset >/dev/null; then\n"
      "    _command_offset \"$i\"\n"
      "  elif ((i == COMP_CWORD)); then\n"
      "    COMPREPLY=($(compgen -c -- \"$cur\"))\n"
      "  else\n"
      "    compopt -o default 2>/dev/null\n"
      "  fi\n"
      "}\n"
      "complete -F _vesk vesk vesk.exe\n";
  return s;
}

std::string zsh_script() {
  std::string s =
      "#compdef vesk\n"
      "# vesk: tab completion for zsh, made by `vesk completion zsh`.\n"
      "# Load it from ~/.zshrc, after compinit:  source <(vesk completion zsh)\n"
      "_vesk() {\n"
      "  local cmd= at=0 prev= i w dashes=0\n"
      "  local -a args choices\n"
      "  for ((i = 2; i < CURRENT; i++)); do\n"
      "    w=${words[i]}\n"
      "    [[ $w == --json ]] && continue\n"
      "    if [[ -z $cmd ]]; then cmd=$w at=$i; else args+=(\"$w\"); fi\n"
      "  done\n"
      "  if [[ -z $cmd ]]; then\n"
      "    choices=(" + quoted(shell_command_words(false), " ") + ")\n"
      "  else\n"
      "    case $cmd in\n"
      "      (" + join_words(shell_command_words(true), "|") + ")\n"
      "        # \"--\", then a program and its arguments as zsh completes them.\n"
      "        i=$((at + 1))\n"
      "        while ((i < CURRENT)) && [[ ${words[i]} == (--|--json) ]]; do\n"
      "          [[ ${words[i]} == -- ]] && dashes=1\n"
      "          ((i++))\n"
      "        done\n"
      "        if ((i == CURRENT && dashes == 0)) && [[ -- == ${PREFIX}* ]]; then\n"
      "          compadd -- --\n"
      "          return\n"
      "        fi\n"
      "        shift $((i - 1)) words\n"
      "        ((CURRENT -= i - 1))\n"
      "        _normal\n"
      "        return ;;\n"
      "    esac\n"
      "    ((${#args})) && prev=${args[-1]}\n"
      "    case \"$cmd/${#args}/$prev\" in\n";
  for (const Rule& rule : completion_rules()) {
    s += "      (" + case_pattern(rule.pattern) + ") choices=(" + quoted(rule.words, " ") + ") ;;\n";
  }
  s +=
      "    esac\n"
      "  fi\n"
      "  compadd -a choices\n"
      "}\n"
      "compdef _vesk vesk\n";
  return s;
}

std::string powershell_script() {
  std::string s =
      "# vesk: tab completion for PowerShell, made by `vesk completion powershell`.\n"
      "# Load it from your profile: add this line to $PROFILE\n"
      "#   vesk completion powershell | Out-String | Invoke-Expression\n"
      "Register-ArgumentCompleter -Native -CommandName 'vesk', 'vesk.exe' -ScriptBlock {\n"
      "  param($wordToComplete, $commandAst, $cursorPosition)\n"
      "  $before = @($commandAst.CommandElements | Select-Object -Skip 1 |\n"
      "      Where-Object { $_.Extent.EndOffset -lt $cursorPosition } | ForEach-Object { \"$_\" })\n"
      "  $cmd = $null\n"
      "  $at = 0\n"
      "  $rest = @()\n"
      "  for ($i = 0; $i -lt $before.Count; $i++) {\n"
      "    if ($before[$i] -ceq '--json') { continue }\n"
      "    if ($null -eq $cmd) { $cmd = $before[$i]; $at = $i } else { $rest += $before[$i] }\n"
      "  }\n"
      "  $choices = @()\n"
      "  if ($null -eq $cmd) {\n"
      "    $choices = @(" + quoted(shell_command_words(false), ", ") + ")\n"
      "  } elseif (@(" + quoted(shell_command_words(true), ", ") + ") -ccontains $cmd) {\n"
      "    # \"--\", then a program; its arguments complete as files.\n"
      "    $i = $at + 1\n"
      "    $dashes = $false\n"
      "    while ($i -lt $before.Count -and ($before[$i] -ceq '--' -or $before[$i] -ceq '--json')) {\n"
      "      if ($before[$i] -ceq '--') { $dashes = $true }\n"
      "      $i++\n"
      "    }\n"
      "    if ($i -lt $before.Count) { return }\n"
      "    if (-not $dashes -and '--'.StartsWith($wordToComplete)) {\n"
      "      $choices = @('--')\n"
      "    } else {\n"
      "      $choices = @(Get-Command -Name \"$wordToComplete*\" -ErrorAction SilentlyContinue |\n"
      "          ForEach-Object Name | Sort-Object -Unique)\n"
      "    }\n"
      "  } else {\n"
      "    $prev = if ($rest.Count) { $rest[-1] } else { '' }\n"
      "    switch -Wildcard -CaseSensitive (\"$cmd/$($rest.Count)/$prev\") {\n";
  for (const Rule& rule : completion_rules()) {
    s += "      '" + rule.pattern + "' { $choices = @(" + quoted(rule.words, ", ") + ") }\n";
  }
  s +=
      "    }\n"
      "  }\n"
      "  $choices | Where-Object { $_ -like \"$wordToComplete*\" } | ForEach-Object {\n"
      "    [System.Management.Automation.CompletionResult]::new($_, $_, 'ParameterValue', $_)\n"
      "  }\n"
      "}\n";
  return s;
}

}  // namespace

std::optional<std::string> completion_script(std::string_view shell) {
  if (shell == kShells[0]) return bash_script();
  if (shell == kShells[1]) return zsh_script();
  if (shell == kShells[2]) return powershell_script();
  return std::nullopt;
}

Outcome cmd_completion(Context& ctx, const Args& args) {
  // The command table lets only the known shells through.
  std::optional<std::string> script = completion_script(args[0]);
  if (!script) return Error{"no completion script for " + quote_word(args[0])};
  ctx.io.out(*script);
  return kExitDone;
}

}  // namespace vesk::cli
