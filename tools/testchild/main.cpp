// vesk-testchild: a child for the tests of `vesk run`.
//   vesk-testchild exit N [MS]  prints its process id, waits MS milliseconds,
//                             exits with N
//   vesk-testchild crash      prints its process id, then crashes
//   vesk-testchild args A…    prints each argument on a line of its own
//   vesk-testchild interrupt FILE
//                             prints its process id, waits (up to 30 s) for
//                             FILE to exist, then presses Ctrl+C on its
//                             console, which ends it with status 42
//   vesk-testchild stop FILE [ignore]
//                             prints its process id, creates FILE, then
//                             waits 30 s and exits with 104; a request to
//                             stop (SIGTERM, Ctrl+C) ends it at once with
//                             status 43, or with "ignore" SIGTERM and
//                             Ctrl+Break are ignored
//   vesk-testchild console PROGRAM ARG…
//                             runs PROGRAM with the arguments in a console
//                             of its own (POSIX: a process group of its own;
//                             this process becomes PROGRAM) and exits with
//                             its status; 105 if it could not be started
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/args.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/signals.h"
#include "support/interrupt.h"
#include "support/own_console.h"

namespace {

// What the tests read: a child that can't write it fails them by itself.
void say(std::string_view text) { (void)vesk::platform::write_stdout(text); }

}  // namespace

int main(int argc, char** argv) {
  // No crash dialog: a crash must end the process at once.
  vesk::platform::init_console();
  auto args = vesk::platform::utf8_args(argc, argv);
  if (args.empty()) return 100;
  const std::string pid = std::to_string(vesk::platform::current_pid()) + "\n";
  if (args[0] == "exit" && (args.size() == 2 || args.size() == 3)) {
    say(pid);
    if (args.size() == 3) vesk::platform::sleep_ms(static_cast<unsigned>(std::atoi(args[2].c_str())));
    return std::atoi(args[1].c_str());
  }
  if (args[0] == "crash") {
    say(pid);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 101;
  }
  if (args[0] == "interrupt" && args.size() == 2) {
    if (!vesk::platform::exit_on_stop_request(42)) return 102;
    say(pid);
    for (int i = 0; i < 3000 && !vesk::platform::file_exists(args[1]); ++i) {
      vesk::platform::sleep_ms(10);
    }
    if (!vesk::platform::interrupt_console()) return 103;
    vesk::platform::sleep_ms(30000);
    return 104;
  }
  if (args[0] == "stop" && (args.size() == 2 || (args.size() == 3 && args[2] == "ignore"))) {
    auto set = args.size() == 3 ? vesk::platform::ignore_stop_requests()
                                : vesk::platform::exit_on_stop_request(43);
    if (!set) return 102;
    say(pid);
    if (!vesk::platform::write_file(args[1], "")) return 103;
    vesk::platform::sleep_ms(30000);
    return 104;
  }
  if (args[0] == "console" && args.size() >= 2) {
    auto ran = vesk::platform::run_in_own_console(
        args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    return ran ? *ran : 105;
  }
  if (args[0] == "args") {
    for (size_t i = 1; i < args.size(); ++i) say(args[i] + "\n");
    return 0;
  }
  return 100;
}
