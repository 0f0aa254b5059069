// The parts of error.h that are the same on every system.
#include "platform/error.h"

namespace vesk::platform {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string fill_message_inserts(std::string_view text, std::string_view subject) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c != '%' || i + 1 == text.size()) {
      out += c;
      ++i;
      continue;
    }
    if (text[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    size_t end = i + 1;
    while (end < text.size() && end < i + 3 && is_digit(text[end])) ++end;
    if (end == i + 1 || text[i + 1] == '0') {
      out += c;
      ++i;
      continue;
    }
    // A printf-style format after the number: "%1!s!".
    if (end < text.size() && text[end] == '!') {
      size_t close = text.find('!', end + 1);
      if (close != std::string_view::npos) end = close + 1;
    }
    if (subject.empty()) {
      while (!out.empty() && out.back() == ' ') out.pop_back();
      // "%1 is ..." at the start: no space left in front.
      if (out.empty()) {
        while (end < text.size() && text[end] == ' ') ++end;
      }
    } else {
      out += subject;
    }
    i = end;
  }
  return out;
}

}  // namespace vesk::platform
