#include "platform/session_watch.h"

namespace vesk::platform {

bool start_session_watch(SessionEndHandler) { return false; }

SessionWatch session_watch_state() { return SessionWatch::not_started; }

}  // namespace vesk::platform
