// vesk-toolchild: a stand-in system tool for the tests of the hidden tool
// runner.
//   vesk-toolchild CODE OUT_TEXT ERR_TEXT [REPEAT]
// writes OUT_TEXT to standard output and ERR_TEXT to standard error, each
// REPEAT times (1 by default) alternating between the two, then exits with
// CODE.
//   vesk-toolchild hex CODE OUT_HEX ERR_HEX
// the same with the bytes given in hexadecimal (any bytes, not only text).
//   vesk-toolchild stdin
// reports on standard output whether standard input gave any byte ("input"
// or "no input") and exits with 0.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/args.h"
#include "platform/console.h"

namespace {

// What the tests read: a child that can't write it fails them by itself.
void out(std::string_view bytes) { (void)vesk::platform::write_stdout(bytes); }
void err(std::string_view bytes) { (void)vesk::platform::write_stderr(bytes); }

}  // namespace

int main(int argc, char** argv) {
  auto args = vesk::platform::utf8_args(argc, argv);
  if (args.size() == 1 && args[0] == "stdin") {
    int c = std::fgetc(stdin);
    out(c == EOF ? "no input" : "input");
    return 0;
  }
  if (args.size() == 4 && args[0] == "hex") {
    auto bytes = [](const std::string& hex) {
      std::string out;
      for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
      }
      return out;
    };
    out(bytes(args[2]));
    err(bytes(args[3]));
    return std::atoi(args[1].c_str());
  }
  if (args.size() != 3 && args.size() != 4) return 100;
  long repeat = args.size() == 4 ? std::atol(args[3].c_str()) : 1;
  for (long i = 0; i < repeat; ++i) {
    out(args[1]);
    err(args[2]);
  }
  return std::atoi(args[0].c_str());
}
