#include "cli/entry.h"
#include "platform/args.h"

int main(int argc, char** argv) {
  return vesk::cli::main_entry(vesk::platform::utf8_args(argc, argv));
}
