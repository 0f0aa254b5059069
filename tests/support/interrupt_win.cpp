#include <windows.h>

#include "support/interrupt.h"

namespace vesk::platform {

bool interrupt_console() { return GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE; }

}  // namespace vesk::platform
