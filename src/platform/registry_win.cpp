#include "platform/registry.h"

#include "platform/error.h"
#include "platform/win_handle.h"

namespace vesk::platform {

using win::widen;

Status delete_user_key_tree(const std::string& subkey) {
  // An empty subkey would name HKEY_CURRENT_USER itself.
  if (subkey.empty()) return Error{os_error_text(ERROR_INVALID_PARAMETER)};
  std::wstring path = widen(subkey);
  // With a subkey named, the key goes together with everything below it.
  LSTATUS rc = RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
    return Error{os_error_text(static_cast<int>(rc))};
  }
  return {};
}

Status delete_user_value(const std::string& subkey, const std::string& name) {
  std::wstring path = widen(subkey);
  std::wstring value = widen(name);
  LSTATUS rc = RegDeleteKeyValueW(HKEY_CURRENT_USER, path.c_str(), value.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
    return Error{os_error_text(static_cast<int>(rc))};
  }
  return {};
}

}  // namespace vesk::platform
