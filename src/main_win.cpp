#include "cli/entry.h"
#include "platform/args.h"

int wmain(int argc, wchar_t** argv) {
  return vesk::cli::main_entry(vesk::platform::utf8_args(argc, argv));
}
