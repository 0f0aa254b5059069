#include <csignal>

#include "support/interrupt.h"

namespace vesk::platform {

bool interrupt_console() { return ::kill(0, SIGINT) == 0; }

}  // namespace vesk::platform
