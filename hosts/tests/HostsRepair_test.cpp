// The flat interface and the hosts folder look-up. Both read the machine's
// TCP/IP parameter "DataBasePath"; this executable points it at private
// folders and puts the original value back when it ends, so it runs alone.
#include <gtest/gtest.h>

#include <vector>

#include "hosts/HostsFix.h"
#include "hosts/HostsPath.h"
#include "hosts/tests/HostsTestSupport.h"
#include "testsupport/TestEnv.h"

using khhosts::HostsPath;

namespace {

const wchar_t kParametersKey[] = L"System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
const wchar_t kValue[] = L"DataBasePath";

// Saves the machine's value once for the executable and restores it at the
// end (also after failed tests).
class SavedDataBasePath : public ::testing::Environment {
 public:
  void SetUp() override {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, nullptr, 0,
                                             KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr));
    DWORD size = 0;
    m_present = RegQueryValueExW(key, kValue, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS;
    if (m_present) {
      m_data.resize(size);
      m_present = RegQueryValueExW(key, kValue, nullptr, &m_type, m_data.data(), &size) == ERROR_SUCCESS;
      m_data.resize(size);
    }
    RegCloseKey(key);
    m_saved = true;
  }
  void TearDown() override {
    if (!m_saved) return;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (m_present)
      RegSetValueExW(key, kValue, 0, m_type, m_data.data(), static_cast<DWORD>(m_data.size()));
    else
      RegDeleteValueW(key, kValue);
    RegCloseKey(key);
  }

 private:
  bool m_saved = false;
  bool m_present = false;
  DWORD m_type = REG_SZ;
  std::vector<BYTE> m_data;
};

::testing::Environment* const g_saved = ::testing::AddGlobalTestEnvironment(new SavedDataBasePath);

void SetValue(DWORD type, const std::wstring& text) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_SET_VALUE, &key));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, kValue, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
  RegCloseKey(key);
}

void DeleteValue() {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_SET_VALUE, &key));
  RegDeleteValueW(key, kValue);
  RegCloseKey(key);
}

std::string Read(const std::wstring& path) {
  std::string bytes;
  EXPECT_TRUE(larktest::ReadFileBytes(path, bytes)) << larktest::Narrow(path);
  return bytes;
}

std::wstring SystemDefault() {
  wchar_t root[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
  return std::wstring(root, n) + L"\\system32\\drivers\\etc\\";
}

TEST(HostsPathTest, FolderFromRegistryValue) {
  larktest::ScratchDir dir(L"hosts-path");
  SetValue(REG_SZ, dir.path());
  std::wstring path;
  EXPECT_TRUE(HostsPath::filePathFromRegistry(path));
  EXPECT_EQ(dir.path(), path);
  HostsPath found;
  EXPECT_EQ(dir.path(), found.directory());
  EXPECT_EQ(dir.path() + L"\\hosts", found.hostsFile());
  EXPECT_EQ(dir.path() + L"\\hosts.bak", found.backupFile());
}

TEST(HostsPathTest, EnvironmentReferencesAreExpanded) {
  larktest::ScratchDir dir(L"hosts-path");
  const std::wstring variable = larktest::UniqueName(L"LARK_HOSTS_");
  ASSERT_TRUE(SetEnvironmentVariableW(variable.c_str(), dir.path().c_str()));
  SetValue(REG_EXPAND_SZ, L"%" + variable + L"%\\sub");
  EXPECT_EQ(dir.path() + L"\\sub", HostsPath().directory());
  SetEnvironmentVariableW(variable.c_str(), nullptr);
}

// A value longer than 129 characters is as good as a short one.
TEST(HostsPathTest, LongValueIsUsed) {
  larktest::ScratchDir dir(L"hosts-path");
  std::wstring deep = dir.path();
  while (deep.size() < 200) {
    deep += L"\\abcdefghijklmnopqrstuvwxyz";
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
  }
  SetValue(REG_SZ, deep);
  EXPECT_EQ(deep, HostsPath().directory());
  ASSERT_TRUE(larktest::WriteFileBytes(deep + L"\\hosts", "1.1.1.1 kharbor\r\n"));
  EXPECT_EQ(kHostsNeedsRepair, HostsFileNeedsRepair());
  EXPECT_EQ(kHostsRepaired, FixFile());
  EXPECT_EQ("", Read(deep + L"\\hosts"));
}

TEST(HostsPathTest, MissingOrEmptyValueGivesDefault) {
  std::wstring path = L"unchanged";
  DeleteValue();
  EXPECT_FALSE(HostsPath::filePathFromRegistry(path));
  EXPECT_EQ(L"unchanged", path);
  EXPECT_EQ(SystemDefault(), HostsPath().directory());
  SetValue(REG_SZ, L"");
  EXPECT_FALSE(HostsPath::filePathFromRegistry(path));
  EXPECT_EQ(SystemDefault(), HostsPath().directory());
}

TEST(HostsPathTest, DefaultWithoutSystemRoot) {
  std::wstring path;
  HostsPath::defaultFilePath(path);
  EXPECT_EQ(SystemDefault(), path);

  wchar_t root[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
  ASSERT_GT(n, 0u);
  ASSERT_TRUE(SetEnvironmentVariableW(L"SystemRoot", nullptr));
  HostsPath::defaultFilePath(path);
  SetEnvironmentVariableW(L"SystemRoot", root);
  wchar_t system[MAX_PATH];
  n = GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_EQ(std::wstring(system, n) + L"\\drivers\\etc\\", path);
}

class FlatInterfaceTest : public ::testing::Test {
 protected:
  FlatInterfaceTest() : m_dir(L"hosts-flat") {}
  void SetUp() override { SetValue(REG_SZ, m_dir.path()); }
  std::wstring hosts() const { return m_dir.file(L"hosts"); }
  std::wstring backup() const { return m_dir.file(L"hosts.bak"); }

  larktest::ScratchDir m_dir;
};

TEST_F(FlatInterfaceTest, CheckThenRepair) {
  const std::string before = "127.0.0.1 localhost\r\n10.0.0.1 www.k-harbor.example\r\n";
  ASSERT_TRUE(larktest::WriteFileBytes(hosts(), before));
  EXPECT_EQ(kHostsNeedsRepair, HostsFileNeedsRepair());
  EXPECT_EQ(kHostsRepaired, FixFile());
  EXPECT_EQ("127.0.0.1 localhost\r\n", Read(hosts()));
  EXPECT_EQ(before, Read(backup()));
  EXPECT_EQ(kHostsCorrect, HostsFileNeedsRepair());
  EXPECT_EQ(kHostsNothingToFix, FixFile());
}

TEST_F(FlatInterfaceTest, ExtraWords) {
  const std::string before = "1.2.3.4 acme.test\r\n5.6.7.8 b.test";
  ASSERT_TRUE(larktest::WriteFileBytes(hosts(), before));
  const wchar_t* lower[] = {L"acme"};
  const wchar_t* upper[] = {nullptr, L"ACME"};
  EXPECT_EQ(kHostsCorrect, HostsFileNeedsRepairEx(nullptr, 5));
  EXPECT_EQ(kHostsCorrect, HostsFileNeedsRepairEx(lower, 1));
  EXPECT_EQ(kHostsCorrect, HostsFileNeedsRepairEx(upper, 0));
  EXPECT_EQ(kHostsNeedsRepair, HostsFileNeedsRepairEx(upper, 2));
  EXPECT_EQ(kHostsNothingToFix, FixFileEx(lower, 1));
  EXPECT_FALSE(hoststest::Exists(backup()));
  EXPECT_EQ(kHostsRepaired, FixFileEx(upper, 2));
  EXPECT_EQ("5.6.7.8 b.test", Read(hosts()));
  EXPECT_EQ(before, Read(backup()));
}

TEST_F(FlatInterfaceTest, MissingAndUnreadableFile) {
  EXPECT_EQ(kHostsCorrect, HostsFileNeedsRepair());
  EXPECT_EQ(kHostsFixFailed, FixFile());
  ASSERT_TRUE(CreateDirectoryW(hosts().c_str(), nullptr));
  EXPECT_EQ(kHostsUnreadable, HostsFileNeedsRepair());
  EXPECT_EQ(kHostsFixFailed, FixFile());
}

}  // namespace
