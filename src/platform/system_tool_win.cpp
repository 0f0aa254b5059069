#include "platform/system_tool.h"
#include "platform/win_handle.h"

namespace vesk::platform {

std::string legacy_tool_text(std::string_view bytes) {
  if (bytes.empty()) return {};
  // One call per gigabyte at most: the lengths are ints.
  std::wstring wide;
  constexpr size_t kPiece = 1u << 30;
  for (size_t at = 0; at < bytes.size(); at += kPiece) {
    std::string_view piece = bytes.substr(at, kPiece);
    int in = static_cast<int>(piece.size());
    int n = MultiByteToWideChar(GetOEMCP(), 0, piece.data(), in, nullptr, 0);
    if (n <= 0) return decode_lossy(bytes);
    size_t start = wide.size();
    wide.resize(start + static_cast<size_t>(n));
    MultiByteToWideChar(GetOEMCP(), 0, piece.data(), in, wide.data() + start, n);
  }
  return win::narrow(wide);
}

}  // namespace vesk::platform
