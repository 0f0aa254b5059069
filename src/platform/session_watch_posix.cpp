#include "platform/session_watch.h"

namespace vesk::platform {

bool start_session_watch(SessionEndHandler) { return false; }

}  // namespace vesk::platform
