// Where the tests find the packages and signed programs that
// testsupport/packages builds (make_packages.py), and what they record.
#pragma once

#include <string>

#include "testsupport/TestEnv.h"

namespace larktest {

// Package variants: good, unsigned, othersigner, version3, versionabc,
// versionmissing, fail, reboot, large (runs InstallExecute), diskfull
// (reports a full disk from a custom action), untrusted (the maker's name
// under a root the prefix does not trust) (".msi"); signed programs:
// signed_kharbor, signed_other, signed_suffix, signed_case, signed_untrusted
// (".exe"). Every signature carries its chain; the prefix trusts the test
// root (testsupport/pki).
inline std::wstring TestPackagePath(const std::wstring& fileName) {
  return BinaryDir() + L"\\testsupport\\packages\\out\\" + fileName;
}

// HKLM key (32-bit view: the packages are 32-bit) under which an installed
// variant records the properties it received, each value "|" + property.
inline std::wstring TestPackageRecordKey(const std::wstring& variant) {
  return L"Software\\LarkTestPackages\\" + variant;
}

// Files that the recorder custom action leaves in TARGETDIR.
const wchar_t kRecordedSettingsFile[] = L"recorded.bcx_settings";
const wchar_t kNoSettingsFileMarker[] = L"no_settings_file";

}  // namespace larktest
