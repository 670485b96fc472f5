// Proxy restoration over private registry roots that stand for HKEY_USERS
// and the current user, so that these cases can run beside other tests.
#include "platform/Proxy.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/tests/PlatformLogCapture.h"
#include "testsupport/TestEnv.h"

namespace {

const wchar_t kSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

struct Profile {
  const wchar_t* name;
  bool hasKey;
  int enable;             // -1: no value
  const wchar_t* server;  // null: no value
};

class ProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_base = L"Software\\LarkTests\\" + larktest::UniqueName(L"proxy");
    RegCreateKeyExW(HKEY_CURRENT_USER, (m_base + L"\\users").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &m_users, nullptr);
    RegCreateKeyExW(HKEY_CURRENT_USER, (m_base + L"\\me").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_me,
                    nullptr);
  }
  void TearDown() override {
    RegCloseKey(m_users);
    RegCloseKey(m_me);
    SHDeleteKeyW(HKEY_CURRENT_USER, m_base.c_str());
  }

  static void WriteSettings(HKEY root, const std::wstring& path, int enable, const wchar_t* server) {
    HKEY key = nullptr;
    RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (enable >= 0) {
      DWORD value = static_cast<DWORD>(enable);
      RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof(value));
    }
    if (server) {
      RegSetValueExW(key, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server),
                     static_cast<DWORD>((wcslen(server) + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
  }

  void AddProfiles(std::initializer_list<Profile> profiles) {
    for (const Profile& p : profiles) {
      if (p.hasKey) {
        WriteSettings(m_users, std::wstring(p.name) + L"\\" + kSettings, p.enable, p.server);
      } else {
        HKEY key = nullptr;
        RegCreateKeyExW(m_users, p.name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegCloseKey(key);
      }
    }
  }

  // The current user's values after the call; enable -1 / server "<none>"
  // when missing.
  void ReadMine(int& enable, std::wstring& server) {
    HKEY key = nullptr;
    enable = -1;
    server = L"<none>";
    if (RegOpenKeyExW(m_me, kSettings, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD value = 0, size = sizeof(value);
    if (RegQueryValueExW(key, L"ProxyEnable", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) == 0) {
      enable = static_cast<int>(value);
    }
    wchar_t text[256] = {};
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"ProxyServer", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &bytes) == 0) {
      server = text;
    }
    RegCloseKey(key);
  }

  std::wstring m_base;
  HKEY m_users = nullptr;
  HKEY m_me = nullptr;
};

bool Contains(const std::vector<std::wstring>& lines, const std::wstring& text) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::wstring& line) { return line.find(text) != std::wstring::npos; });
}

TEST_F(ProxyTest, NoEnabledProxyLeavesMySettingsAlone) {
  AddProfiles({{L"a-classes", false, -1, nullptr},
               {L"b-disabled", true, 0, L"off.example:1"},
               {L"c-empty", true, 1, L""},
               {L"d-no-server", true, 1, nullptr},
               {L"e-no-values", true, -1, nullptr}});
  WriteSettings(m_me, kSettings, 0, L"mine.example:3128");
  std::vector<std::wstring> lines;
  {
    PlatformLogCapture log;
    RestoreProxy(m_users, m_me);
    lines = log.Texts();
  }
  int enable;
  std::wstring server;
  ReadMine(enable, server);
  EXPECT_EQ(0, enable);
  EXPECT_EQ(L"mine.example:3128", server);
  EXPECT_TRUE(Contains(lines, L"RestoreProxy: No proxy server found"));
  EXPECT_TRUE(Contains(lines, L"RestoreProxy: Found 5 subkeys under HKEY_USERS"));
  EXPECT_TRUE(Contains(lines, L"RestoreProxy: No proxy was enabled"));
  EXPECT_TRUE(Contains(lines, L"RestoreProxy: Proxy server was empty"));
  EXPECT_TRUE(Contains(lines, L"RestoreProxy: No ProxyServer value found"));
  EXPECT_TRUE(Contains(lines, L"RestoreProxy: No ProxyEnable value found"));
}

TEST_F(ProxyTest, FoundServerMeetsEachStateOfMySettings) {
  struct Case {
    const char* name;
    int myEnable;
    const wchar_t* myServer;
    int expectedEnable;
    const wchar_t* expectedServer;
  } cases[] = {
      {"disabled with own server: replaced and enabled", 0, L"mine.example:3128", 1, L"first.example:8080"},
      {"no values: written and enabled", -1, nullptr, 1, L"first.example:8080"},
      {"enabled with own server: kept", 1, L"mine.example:3128", 1, L"mine.example:3128"},
      {"enabled without server: written", 1, nullptr, 1, L"first.example:8080"},
      {"enabled with empty server: written", 1, L"", 1, L"first.example:8080"},
      {"other enable value: treated as disabled", 2, L"mine.example:3128", 1, L"first.example:8080"},
  };
  AddProfiles({{L"a-none", false, -1, nullptr},
               {L"b-first", true, 1, L"first.example:8080"},
               {L"c-second", true, 1, L"second.example:8080"}});
  for (const Case& c : cases) {
    SHDeleteKeyW(m_me, kSettings);
    WriteSettings(m_me, kSettings, c.myEnable, c.myServer);
    RestoreProxy(m_users, m_me);
    int enable;
    std::wstring server;
    ReadMine(enable, server);
    EXPECT_EQ(c.expectedEnable, enable) << c.name;
    EXPECT_EQ(c.expectedServer, server) << c.name;
  }
}

TEST_F(ProxyTest, NothingIsCreatedForAUserWithoutInternetSettings) {
  AddProfiles({{L"a-proxy", true, 1, L"first.example:8080"}});
  RestoreProxy(m_users, m_me);
  int enable;
  std::wstring server;
  ReadMine(enable, server);
  EXPECT_EQ(-1, enable);
  EXPECT_EQ(L"<none>", server);
}

TEST_F(ProxyTest, EmptyOrMissingUsersRootChangesNothing) {
  WriteSettings(m_me, kSettings, 0, L"mine.example:3128");
  RestoreProxy(m_users, m_me);  // no profiles
  HKEY missing = nullptr;
  RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &missing);
  RegCloseKey(missing);  // a closed handle cannot be opened
  RestoreProxy(missing, m_me);
  int enable;
  std::wstring server;
  ReadMine(enable, server);
  EXPECT_EQ(0, enable);
  EXPECT_EQ(L"mine.example:3128", server);
}

}  // namespace
