// Logging settings in the registry of the test prefix and the log path,
// each test under its own product or log-name key.
#include "logging/LogSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logging/Logger.h"
#include "logging/tests/LogTestSupport.h"
#include "testsupport/TestEnv.h"

using KhBcxLogging::ReadLoggingSetting;

namespace {

std::wstring CommonAppData() {
  wchar_t buffer[1040] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
               L"Common AppData", RRF_RT_REG_SZ, nullptr, buffer, &size);
  return buffer;
}

// A value directly in the Logging key, under a name that only this test
// reads, so that other tests running at the same time see nothing of it.
class RootValue {
 public:
  RootValue() : m_name(larktest::UniqueName(L"TestValue_")) {}
  ~RootValue() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, logtest::kLoggingKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, m_name.c_str());
      RegCloseKey(key);
    }
  }
  void Set(DWORD value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, logtest::kLoggingKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, m_name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
  }
  const wchar_t* name() const { return m_name.c_str(); }

 private:
  std::wstring m_name;
};

const DWORD kAbsent = 0xABCDEF;  // marks "no value stored" in the table

TEST(ReadLoggingSettingTest, TriesLogKeyThenProductKeyThenLoggingKey) {
  struct Case {
    const char* what;
    DWORD logValue, productValue, rootValue, expected;
  } const cases[] = {
      {"log key wins", 5, 7, 9, 5},
      {"product key next", kAbsent, 7, 9, 7},
      {"logging key last", kAbsent, kAbsent, 9, 9},
      {"default", kAbsent, kAbsent, kAbsent, 42},
      {"0xFFFFFFFF in the log key falls through", 0xFFFFFFFF, 7, 9, 7},
      {"0xFFFFFFFF in both keys falls through", 0xFFFFFFFF, 0xFFFFFFFF, 9, 9},
      {"0xFFFFFFFF in both keys, nothing below", 0xFFFFFFFF, 0xFFFFFFFF, kAbsent, 42},
      {"0xFFFFFFFF in the logging key is kept", kAbsent, kAbsent, 0xFFFFFFFF, 0xFFFFFFFF},
      {"zero is a value", 0, 7, 9, 0},
  };
  for (const Case& c : cases) {
    std::wstring product = larktest::UniqueName(L"LogTestProduct_");
    std::wstring logName = larktest::UniqueName(L"log_");
    logtest::LoggingKey key(product, logName);
    RootValue root;
    if (c.logValue != kAbsent) key.SetDword(root.name(), c.logValue);
    if (c.productValue != kAbsent) key.SetProductDword(root.name(), c.productValue);
    if (c.rootValue != kAbsent) root.Set(c.rootValue);
    EXPECT_EQ(ReadLoggingSetting(product.c_str(), logName.c_str(), root.name(), 42), c.expected) << c.what;
  }
}

TEST(ReadLoggingSettingTest, ValuesThatAreNotFourBytesCountAsAbsent) {
  std::wstring product = larktest::UniqueName(L"LogTestProduct_");
  std::wstring logName = larktest::UniqueName(L"log_");
  logtest::LoggingKey key(product, logName);
  key.SetProductDword(L"Wide", 7);
  unsigned long long qword = 5;
  key.SetRaw(L"Wide", REG_QWORD, &qword, sizeof(qword));
  EXPECT_EQ(ReadLoggingSetting(product.c_str(), logName.c_str(), L"Wide", 42), 7u);
  // Four bytes of any type are read as the number.
  DWORD binary = 3;
  key.SetRaw(L"Binary", REG_BINARY, &binary, sizeof(binary));
  EXPECT_EQ(ReadLoggingSetting(product.c_str(), logName.c_str(), L"Binary", 42), 3u);
}

TEST(BuildLogFilePathTest, PutsTheLogUnderCommonAppData) {
  wchar_t buffer[KhBcxLogging::kLogPathCapacity];
  std::wstring base = CommonAppData();
  ASSERT_FALSE(base.empty());
  struct Case {
    const wchar_t* product;
    const wchar_t* logName;
    std::wstring expected;
  } const cases[] = {
      {L"Lark", L"stub", base + L"\\K-Harbor\\logs\\Lark\\stub.log"},
      {L"Lark", L"stub_2", base + L"\\K-Harbor\\logs\\Lark\\stub_2.log"},
      {nullptr, L"stub", base + L"\\K-Harbor\\logs\\misc\\stub.log"},
  };
  for (const Case& c : cases) {
    int length = KhBcxLogging::BuildLogFilePath(c.product, buffer, c.logName);
    EXPECT_EQ(std::wstring(buffer), c.expected);
    EXPECT_EQ(length, static_cast<int>(c.expected.size()));
  }
}

TEST(BuildLogFilePathTest, PathThatDoesNotFitGivesZero) {
  wchar_t buffer[KhBcxLogging::kLogPathCapacity];
  size_t fixed = CommonAppData().size() + wcslen(L"\\K-Harbor\\logs\\Lark\\") + wcslen(L".log");
  // The longest name that fits leaves room for the terminating null.
  std::wstring longest(KhBcxLogging::kLogPathCapacity - 1 - fixed, L'n');
  EXPECT_EQ(KhBcxLogging::BuildLogFilePath(L"Lark", buffer, longest.c_str()),
            KhBcxLogging::kLogPathCapacity - 1);
  std::wstring tooLong = longest + L"n";
  EXPECT_EQ(KhBcxLogging::BuildLogFilePath(L"Lark", buffer, tooLong.c_str()), 0);
}

// The settings reach the logger: the log-name key configures level,
// rotation and size of one log.
class LoggerSettingsTest : public ::testing::Test {
 protected:
  LoggerSettingsTest()
      : m_name(larktest::UniqueName(L"settingstest_")), m_key(L"Lark", m_name), m_path(logtest::FreshLogPath(m_name)) {}
  ~LoggerSettingsTest() override { logtest::RemoveLogFiles(m_path); }

  // The texts of a file's header lines.
  std::vector<std::wstring> Texts(const std::wstring& path) {
    std::vector<std::wstring> lines, texts;
    logtest::ReadLogLines(path, lines);
    for (const auto& line : lines) {
      logtest::ParsedLine p;
      texts.push_back(logtest::ParseLine(line, p) ? p.text : line);
    }
    return texts;
  }

  std::wstring Rotated(DWORD index) {
    wchar_t name[1100];
    KhBcxLogging::MakeRotatedFileName(_countof(name), m_path.c_str(), name, index);
    return name;
  }

  std::wstring m_name;
  logtest::LoggingKey m_key;
  std::wstring m_path;
};

TEST_F(LoggerSettingsTest, StoredMaxLevelFallsThroughToTheDefault) {
  m_key.SetDword(L"LogLevel", 0xFFFFFFFF);
  KhBcxLogging::Logger logger;
  logger.Open(m_name.c_str());
  EXPECT_EQ(logger.level(), 4);
}

TEST_F(LoggerSettingsTest, MaxSizeZeroPutsEveryLineIntoItsOwnFile) {
  m_key.SetDword(L"LogMaxSizeKB", 0);
  m_key.SetDword(L"LogRotateCount", 5);
  {
    KhBcxLogging::Logger logger;
    logger.Open(m_name.c_str());
    logger.Print(4, L"%s: one", L"Test::Size");
    logger.Print(4, L"%s: two", L"Test::Size");
    logger.Close();
  }
  // Each file holds one piece: the blank line, the banner, the lines, the end banner.
  EXPECT_EQ(Texts(m_path), std::vector<std::wstring>{L"***  LOGGING ENDED  ***"});
  EXPECT_EQ(Texts(Rotated(1)), std::vector<std::wstring>{L"Test::Size: two"});
  EXPECT_EQ(Texts(Rotated(2)), std::vector<std::wstring>{L"Test::Size: one"});
  EXPECT_EQ(Texts(Rotated(4)), std::vector<std::wstring>{L""});
  EXPECT_EQ(GetFileAttributesW(Rotated(5).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LoggerSettingsTest, RotateCountZeroKeepsOnlyTheCurrentFile) {
  m_key.SetDword(L"LogMaxSizeKB", 0);
  m_key.SetDword(L"LogRotateCount", 0);
  {
    KhBcxLogging::Logger logger;
    logger.Open(m_name.c_str());
    logger.Print(4, L"%s: last", L"Test::Count");
  }
  EXPECT_EQ(Texts(m_path), std::vector<std::wstring>{L"***  LOG AUTO-CLOSED ***"});
  EXPECT_EQ(GetFileAttributesW(Rotated(1).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW((m_path + L"__delete_1").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LoggerSettingsTest, DefaultsKeepTwoFilesOfOneHundredKilobytes) {
  std::wstring text(1000, L'x');
  {
    KhBcxLogging::Logger logger;
    logger.Open(m_name.c_str());
    // About 2 KB per line: 200 lines make several rotations.
    for (int i = 0; i < 200; ++i) logger.Print(4, L"%s: %d %s", L"Test::Defaults", i, text.c_str());
    logger.Close();
  }
  for (DWORD i = 0; i <= 2; ++i) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(Rotated(i).c_str(), GetFileExInfoStandard, &data)) << i;
    EXPECT_LE(data.nFileSizeLow, 100u * 1024 + 2400) << i;
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  GetFileAttributesExW(Rotated(1).c_str(), GetFileExInfoStandard, &data);
  EXPECT_GT(data.nFileSizeLow, 100u * 1024);
  EXPECT_EQ(GetFileAttributesW(Rotated(3).c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
