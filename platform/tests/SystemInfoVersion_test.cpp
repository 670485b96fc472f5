// SystemInfo::GetOS under the Windows versions that Wine can pretend to
// be. The prefix's HKCU\Software\Wine "Version" value is machine-wide state
// of the test prefix: it is saved, switched per case for a new probe
// process, and restored (or removed) at the end.
#include <gtest/gtest.h>

#include <string>

#include "testsupport/TestEnv.h"

namespace {

const wchar_t kWineKey[] = L"Software\\Wine";

class WineVersion {
 public:
  WineVersion() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kWineKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
      wchar_t buffer[64] = {};
      DWORD size = sizeof(buffer) - sizeof(wchar_t), type = 0;
      if (RegQueryValueExW(key, L"Version", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                           &size) == ERROR_SUCCESS &&
          type == REG_SZ) {
        m_saved = buffer;
        m_hadValue = true;
      }
      RegCloseKey(key);
    }
  }
  ~WineVersion() {
    if (m_hadValue) {
      Set(m_saved);
    } else {
      Remove();
    }
  }
  static void Remove() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kWineKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, L"Version");
      RegCloseKey(key);
    }
  }
  static bool Set(const std::wstring& version) {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kWineKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
      return false;
    LONG rc = RegSetValueExW(key, L"Version", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(version.c_str()),
                             static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
  }

 private:
  std::wstring m_saved;
  bool m_hadValue = false;
};

// Runs the probe and returns its output line.
std::string Probe() {
  std::string text = larktest::RunCaptured(L"\"" + larktest::BuiltExe(L"platform_system_info_probe") + L"\"").output;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

TEST(SystemInfoUnderWine, GetOSPerWindowsVersion) {
  WineVersion restore;
  struct Case {
    const wchar_t* version;  // empty: no "Version" value, the prefix's default
    const char* expected;    // the probe's whole line
  } cases[] = {
  // Measured with Wine 8.0. The names "win7" and "win2008r2" give each
  // other's product type there, and "win81" and "win10" read as 6.2 because
  // the probe, like the installer, declares no newer system in a manifest.
#ifdef _WIN64
      {L"winxp", "3 5.1 sp3 type1 arch64"},
      {L"winxp64", "-1 5.2 sp2 type1 arch64"},
      {L"win2003", "-1 5.2 sp2 type3 arch64"},
      {L"win2k", "-1 5.0 sp4 type1 arch64"},
      {L"vista", "21 6.0 sp2 type1 arch64"},
      {L"win2008", "-1 6.0 sp2 type3 arch64"},
      {L"win7", "-1 6.1 sp1 type3 arch64"},
      {L"win2008r2", "40 6.1 sp1 type1 arch64"},
      {L"", "40 6.1 sp1 type1 arch64"},
      {L"win8", "60 6.2 sp0 type1 arch64"},
      {L"win81", "60 6.2 sp0 type1 arch64"},
      {L"win10", "60 6.2 sp0 type1 arch64"},
#else
      {L"winxp", "3 5.1 sp3 type1 arch32"},
      {L"vista", "11 6.0 sp2 type1 arch32"},
      {L"", "30 6.1 sp1 type1 arch32"},
      {L"win8", "50 6.2 sp0 type1 arch32"},
#endif
  };
  for (const Case& c : cases) {
    if (*c.version) {
      ASSERT_TRUE(WineVersion::Set(c.version));
    } else {
      WineVersion::Remove();
    }
    EXPECT_EQ(Probe(), c.expected) << larktest::Narrow(c.version);
  }
}

}  // namespace
