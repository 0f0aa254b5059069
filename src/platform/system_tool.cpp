#include "platform/system_tool.h"

#include "base/utf8.h"
#include "platform/spawn.h"

namespace vesk::platform {

Result<ToolOutput> run_hidden_tool(const std::string& program,
                                   const std::vector<std::string>& args) {
  SpawnOptions options;
  options.lookup = Lookup::kSystemTool;
  options.input = Input::kNullDevice;
  options.capture_output = true;
  options.no_window = true;
  TRY_ASSIGN(Process tool, Process::start(program, args, options));
  auto output = tool.communicate();
  if (!output) {
    tool.end();
    return output.error();
  }
  TRY_ASSIGN(ProcessExit exit, tool.wait());
  return ToolOutput{static_cast<int>(exit.code), std::move(output->out),
                    std::move(output->err)};
}

std::string utf8_or_legacy(std::string_view bytes, std::string (*legacy)(std::string_view)) {
  if (valid_utf8(bytes)) return std::string(bytes);
  return legacy(bytes);
}

std::string tool_text(std::string_view bytes) { return utf8_or_legacy(bytes, legacy_tool_text); }

}  // namespace vesk::platform
