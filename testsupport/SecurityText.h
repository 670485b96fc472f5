// Test helper: access lists as SDDL text, read back from files and kernel
// objects, and SDDL normalised through the same printer so that a list read
// from the system compares with the text it was built from whatever
// abbreviations and right order the printer uses. Empty text on failure.
#pragma once

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

namespace larktest {

// The DACL of a descriptor as SDDL text; frees the descriptor.
inline std::wstring TakeDaclText(PSECURITY_DESCRIPTOR descriptor) {
  if (!descriptor) return std::wstring();
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

inline std::wstring ObjectDaclText(HANDLE object, SE_OBJECT_TYPE type) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  if (GetSecurityInfo(object, type, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &descriptor) !=
      ERROR_SUCCESS)
    return std::wstring();
  return TakeDaclText(descriptor);
}

inline std::wstring FileDaclText(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  if (GetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return std::wstring();
  return TakeDaclText(descriptor);
}

inline std::wstring NormalizedSddl(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
    return std::wstring();
  return TakeDaclText(descriptor);
}

}  // namespace larktest
