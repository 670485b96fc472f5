// Helpers for the hosts tests: access lists in SDDL as the system reports
// them, and file attributes.
#pragma once

#include <windows.h>

#include <string>

namespace hoststest {

// The DACL of a file or folder in SDDL (GetNamedSecurityInfoW), empty on
// failure.
std::wstring ReadDaclSddl(const std::wstring& path);
// Applies an SDDL access list (DACL only).
bool WriteDaclSddl(const std::wstring& path, const wchar_t* sddl);

DWORD Attributes(const std::wstring& path);
bool Exists(const std::wstring& path);

}  // namespace hoststest
