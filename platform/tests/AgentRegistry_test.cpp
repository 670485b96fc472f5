// The fixed readers of the installed agent's settings against the real
// machine keys. They change machine-wide values, so this executable runs
// serially and puts back what it found.
#include "platform/RegKey.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/PathUtils.h"
#include "platform/tests/PlatformLogCapture.h"
#include "testsupport/TestEnv.h"

namespace {

const wchar_t kLarkClient[] = L"SOFTWARE\\K-Harbor\\Lark Client";
const wchar_t kLatebound[] = L"SOFTWARE\\K-Harbor\\BCX\\Settings\\RK_AgentSupportsMultipleOperators";

// Remembers which keys existed and one value's raw content, and restores
// both on destruction.
class SavedValue {
 public:
  SavedValue(const std::wstring& key, const std::wstring& value) : key_(key), value_(value) {
    for (std::wstring k = key_; !k.empty() && k != L"SOFTWARE"; k = k.substr(0, k.rfind(L'\\'))) {
      HKEY h = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, k.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS) {
        RegCloseKey(h);
        break;
      }
      missingKeys_.push_back(k);  // deepest first
    }
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS) {
      BYTE buffer[4096];
      DWORD size = sizeof buffer;
      had_ = RegQueryValueExW(h, value_.c_str(), nullptr, &type_, buffer, &size) == ERROR_SUCCESS;
      if (had_) data_.assign(buffer, buffer + size);
      RegCloseKey(h);
    }
  }
  ~SavedValue() {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, KEY_ALL_ACCESS, &h) == ERROR_SUCCESS) {
      if (had_) {
        RegSetValueExW(h, value_.c_str(), 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
      } else {
        RegDeleteValueW(h, value_.c_str());
      }
      RegCloseKey(h);
    }
    // Keys this test created go again, but only while they are empty.
    for (const std::wstring& k : missingKeys_) RegDeleteKeyW(HKEY_LOCAL_MACHINE, k.c_str());
  }

  void Write(DWORD type, const void* data, DWORD size) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(h, value_.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(h);
  }
  void Remove() {
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, KEY_ALL_ACCESS, &h) == ERROR_SUCCESS) {
      RegDeleteValueW(h, value_.c_str());
      RegCloseKey(h);
    }
  }
  bool KeyWasMissing() const { return !missingKeys_.empty(); }

 private:
  std::wstring key_, value_;
  std::vector<std::wstring> missingKeys_;
  bool had_ = false;
  DWORD type_ = 0;
  std::vector<BYTE> data_;
};

}  // namespace

TEST(AgentRegistryTest, ReadLarkRegistryReadsADwordAndRejectsALongString) {
  SavedValue saved(kLarkClient, L"AgentSupportsMultipleOperators");
  DWORD one = 1;
  saved.Write(REG_DWORD, &one, sizeof one);
  DWORD value = 0;
  EXPECT_TRUE(ReadLarkRegistry(&value));
  EXPECT_EQ(value, 1u);

  const wchar_t text[] = L"yes, it does";
  saved.Write(REG_SZ, text, sizeof text);
  {
    PlatformLogCapture log;
    EXPECT_FALSE(ReadLarkRegistry(&value));
    std::vector<std::wstring> texts = log.Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), L" D|ReadLarkRegistry: "), 1);
    std::wstring expected = L" D|ReadLarkRegistry: Failed to read 'AgentSupportsMultipleOperators' from registry: " +
                            FormatSystemError(ERROR_MORE_DATA);
    if (!expected.empty() && expected.back() == L'\r') expected.pop_back();
    std::string all;
    for (const std::wstring& t : texts) all += larktest::Narrow(t) + "\n";
    EXPECT_EQ(std::count(texts.begin(), texts.end(), expected), 1) << all;
  }

  saved.Remove();
  EXPECT_FALSE(ReadLarkRegistry(&value));
}

TEST(AgentRegistryTest, ReadLateboundRegistryReadsTheSettingsValue) {
  SavedValue saved(kLatebound, L"value");
  DWORD zero = 0;
  saved.Write(REG_DWORD, &zero, sizeof zero);
  DWORD value = 7;
  EXPECT_TRUE(ReadLateboundRegistry(&value));
  EXPECT_EQ(value, 0u);

  const BYTE eight[8] = {1};
  saved.Write(REG_BINARY, eight, sizeof eight);
  EXPECT_FALSE(ReadLateboundRegistry(&value));
  saved.Remove();
  EXPECT_FALSE(ReadLateboundRegistry(&value));
}

TEST(AgentRegistryTest, GetTargetDirReadsTheInstallPath) {
  SavedValue saved(kLarkClient, L"InstallPath");
  const wchar_t path[] = L"C:\\Program Files\\K-Harbor\\Lark Client";
  saved.Write(REG_SZ, path, sizeof path);
  std::wstring dir;
  EXPECT_TRUE(getTargetDir(dir));
  EXPECT_EQ(dir, path);

  saved.Remove();
  dir = L"unchanged";
  EXPECT_FALSE(getTargetDir(dir));
  EXPECT_EQ(dir, L"unchanged");
}
