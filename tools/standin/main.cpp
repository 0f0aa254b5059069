// vesk-standin [--folder <app folder>]: serves the app folder (by default
// the one `vesk` uses) until a "quit" request arrives.
#include <string>

#include "ipc/app_folder.h"
#include "platform/args.h"
#include "platform/console.h"
#include "standin/standin.h"

// A stand-in that can't write to its console has nowhere else to say so.
static void say(const std::string& text) { (void)vesk::platform::write_stdout(text); }
static void complain(const std::string& text) { (void)vesk::platform::write_stderr(text); }

static int run(const std::vector<std::string>& args) {
  std::string folder;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--folder" && i + 1 < args.size()) {
      folder = args[++i];
    } else {
      complain("usage: vesk-standin [--folder <app folder>]\n");
      return 2;
    }
  }
  if (folder.empty()) {
    auto found = vesk::ipc::app_folder();
    if (!found) {
      complain("vesk-standin: " + found.message() + "\n");
      return 2;
    }
    folder = *found;
  }
  vesk::standin::StandIn standin(folder);
  say("stand-in tray app serving " + folder + "; Ctrl+C stops it\n");
  standin.serve();
  return 0;
}

int main(int argc, char** argv) {
  vesk::platform::init_console();
  try {
    return run(vesk::platform::utf8_args(argc, argv));
  } catch (...) {
    return 2;
  }
}
