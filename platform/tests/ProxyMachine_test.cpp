// Proxy restoration against the real HKEY_USERS and HKEY_CURRENT_USER of
// the test prefix. It changes the current user's Internet Settings, which
// other tests' WinINet sessions read, so it runs alone and puts every value
// back as it found it.
#include "platform/Proxy.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <vector>

#include "testsupport/TestEnv.h"

namespace {

const wchar_t kSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// One saved value: present or not, type and bytes.
struct SavedValue {
  const wchar_t* name;
  bool present = false;
  DWORD type = 0;
  std::vector<BYTE> data;

  void Save(HKEY key) {
    DWORD size = 0;
    present = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    data.resize(size);
    if (present && size) RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
  }
  void Restore(HKEY key) const {
    if (present) {
      RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
    } else {
      RegDeleteValueW(key, name);
    }
  }
};

class ProxyMachineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &m_mine, nullptr));
    m_enable.Save(m_mine);
    m_server.Save(m_mine);
    // A profile of its own under HKEY_USERS, named so that it sorts before
    // the prefix's user profiles.
    m_profile = larktest::UniqueName(L"0-lark-proxy-");
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_USERS, (m_profile + L"\\" + kSettings).c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    DWORD one = 1;
    RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof(one));
    const wchar_t server[] = L"profile.example:8080";
    RegSetValueExW(key, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server), sizeof(server));
    RegCloseKey(key);
  }
  void TearDown() override {
    if (m_mine) {
      m_enable.Restore(m_mine);
      m_server.Restore(m_mine);
      RegCloseKey(m_mine);
    }
    if (!m_profile.empty()) SHDeleteKeyW(HKEY_USERS, m_profile.c_str());
  }

  HKEY m_mine = nullptr;
  SavedValue m_enable{L"ProxyEnable"};
  SavedValue m_server{L"ProxyServer"};
  std::wstring m_profile;
};

TEST_F(ProxyMachineTest, LoggedOnProfilesProxyReachesTheCurrentUser) {
  DWORD zero = 0;
  RegSetValueExW(m_mine, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), sizeof(zero));
  RegDeleteValueW(m_mine, L"ProxyServer");
  RestoreProxy();
  DWORD enable = 0, size = sizeof(enable);
  RegQueryValueExW(m_mine, L"ProxyEnable", nullptr, nullptr, reinterpret_cast<BYTE*>(&enable), &size);
  wchar_t server[256] = {};
  DWORD bytes = sizeof(server) - sizeof(wchar_t);
  RegQueryValueExW(m_mine, L"ProxyServer", nullptr, nullptr, reinterpret_cast<BYTE*>(server), &bytes);
  EXPECT_EQ(1u, enable);
  EXPECT_STREQ(L"profile.example:8080", server);
}

}  // namespace
