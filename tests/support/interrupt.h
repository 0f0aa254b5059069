// A user's Ctrl+C, pressed by a test's child program (tools/testchild).
#pragma once

namespace vesk::platform {

// Interrupts as a user's Ctrl+C does. Windows: a Ctrl+C event to every
// process attached to this process's console. POSIX: SIGINT to this
// process's group. Returns false when it could not be sent.
bool interrupt_console();

}  // namespace vesk::platform
