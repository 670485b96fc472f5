#include "hosts/tests/HostsTestSupport.h"

#include <aclapi.h>
#include <sddl.h>

#include "testsupport/SecurityText.h"

namespace hoststest {

std::wstring ReadDaclSddl(const std::wstring& path) { return larktest::FileDaclText(path); }

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
