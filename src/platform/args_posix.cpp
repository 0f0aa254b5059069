#include "platform/args.h"

namespace vesk::platform {

std::vector<std::string> utf8_args(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

}  // namespace vesk::platform
