// Without the machine's Common AppData value there is no log path and so no
// log file. This executable removes the value for the test's duration and
// restores it; CTest runs it while no other test runs.
#include <gtest/gtest.h>

#include <string>

#include "logging/LogSettings.h"
#include "logging/Logger.h"
#include "logging/tests/LogTestSupport.h"
#include "testsupport/TestEnv.h"

namespace {

const wchar_t kShellFolders[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// Saves the value, deletes it, and puts it back when the test ends (also
// when an assertion fails).
class CommonAppDataRemoved {
 public:
  CommonAppDataRemoved() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
      return;
    }
    DWORD size = sizeof(m_data);
    m_saved = RegQueryValueExW(key, L"Common AppData", nullptr, &m_type, m_data, &size) == ERROR_SUCCESS;
    m_size = size;
    if (m_saved) {
      m_removed = RegDeleteValueW(key, L"Common AppData") == ERROR_SUCCESS;
    }
    RegCloseKey(key);
  }
  ~CommonAppDataRemoved() {
    if (!m_saved) return;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kShellFolders, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegSetValueExW(key, L"Common AppData", 0, m_type, m_data, m_size);
      RegCloseKey(key);
    }
  }
  bool removed() const { return m_removed; }

 private:
  bool m_saved = false;
  bool m_removed = false;
  DWORD m_type = 0;
  BYTE m_data[2200];
  DWORD m_size = 0;
};

TEST(NoCommonAppDataTest, LoggerWritesNoFile) {
  std::wstring name = larktest::UniqueName(L"nocommonappdata_");
  logtest::LoggingKey key(L"Lark", name);
  std::wstring path = logtest::FreshLogPath(name);
  ASSERT_FALSE(path.empty());
  {
    CommonAppDataRemoved removed;
    ASSERT_TRUE(removed.removed());
    wchar_t buffer[KhBcxLogging::kLogPathCapacity];
    EXPECT_EQ(KhBcxLogging::BuildLogFilePath(L"Lark", buffer, name.c_str()), 0);
    KhBcxLogging::Logger logger;
    logger.Open(name.c_str());
    EXPECT_FALSE(logger.hasFile());
    EXPECT_EQ(logger.level(), 4);
    SetLastError(77);
    logger.Print(4, L"%s: nowhere", L"Test::NoPath");
    EXPECT_EQ(GetLastError(), 77u);
    logger.Close();
  }
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(logtest::LogPath(name), path);  // the value is back
}

}  // namespace
