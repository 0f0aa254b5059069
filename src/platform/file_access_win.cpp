#include "platform/file_access.h"

#include "platform/error.h"
#include "platform/win_handle.h"  // windows.h first

#include <aclapi.h>

namespace vesk::platform {

namespace {

// A security descriptor from the system, freed on destruction.
struct LocalDescriptor {
  PSECURITY_DESCRIPTOR sd = nullptr;
  ~LocalDescriptor() {
    if (sd != nullptr) LocalFree(sd);
  }
};

}  // namespace

Status copy_access(const std::string& from, const std::string& to) {
  std::wstring wfrom = win::widen(from), wto = win::widen(to);
  LocalDescriptor source;
  PACL dacl = nullptr;
  DWORD rc = GetNamedSecurityInfoW(wfrom.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, &dacl, nullptr, &source.sd);
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return {};
  if (rc != ERROR_SUCCESS) return Error{os_error_text(static_cast<int>(rc), from)};
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(source.sd, &control, &revision)) return last_error();
  // A DACL cut off from the folder's stays so; otherwise the folder's
  // inherited entries are applied again, as they were to the original.
  SECURITY_INFORMATION info =
      DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED) != 0
                                       ? PROTECTED_DACL_SECURITY_INFORMATION
                                       : UNPROTECTED_DACL_SECURITY_INFORMATION);
  rc = SetNamedSecurityInfoW(wto.data(), SE_FILE_OBJECT, info, nullptr, nullptr, dacl, nullptr);
  if (rc != ERROR_SUCCESS) return Error{os_error_text(static_cast<int>(rc), to)};
  return {};
}

// Windows files have no permission bits; their access comes from the
// folder's inherited entries.
Status set_new_file_mode(const std::string&, uint32_t) { return {}; }

Result<bool> file_read_only(const std::string& path) {
  DWORD attrs = GetFileAttributesW(win::widen(path).c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
    return Error{os_error_text(static_cast<int>(error))};
  }
  return (attrs & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace vesk::platform
