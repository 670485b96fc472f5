#include "hosts/tests/HostsTestSupport.h"

#include <aclapi.h>
#include <sddl.h>

namespace hoststest {

std::wstring ReadDaclSddl(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  if (GetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return std::wstring();
  std::wstring result;
  LPWSTR text = nullptr;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                           &text, nullptr)) {
    result = text;
    LocalFree(text);
  }
  LocalFree(descriptor);
  return result;
}

bool WriteDaclSddl(const std::wstring& path, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return false;
  BOOL ok = SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor);
  LocalFree(descriptor);
  return ok != FALSE;
}

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace hoststest
