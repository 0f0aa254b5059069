#include <cerrno>
#include <cstring>

#include "platform/error.h"

namespace vesk::platform {

int last_os_error() { return errno; }

std::string os_error_text(int code) {
  char buf[256];
  // The GNU variant returns a pointer that may or may not be `buf`.
  const char* text = strerror_r(code, buf, sizeof buf);
  return std::string(text) + " (os error " + std::to_string(code) + ")";
}

// The system's texts have no inserts.
std::string os_error_text(int code, std::string_view) { return os_error_text(code); }

Error last_error() { return Error{os_error_text(last_os_error())}; }

}  // namespace vesk::platform
