// The log lines that the folder functions and CreateKey write on failure,
// read back from a real log file.
#include <gtest/gtest.h>
#include <gmock/gmock.h>
#include <windows.h>

#include <string>

#include "platform/PathUtils.h"
#include "platform/RegKey.h"
#include "platform/tests/PlatformLogCapture.h"
#include "testsupport/TestEnv.h"

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(PlatformLogTest, MkDirPathSafeLogsOnlyFailures) {
  larktest::ScratchDir scratch(L"log-mkdir");
  ASSERT_TRUE(larktest::WriteFileBytes(scratch.file(L"file"), std::string("x")));
  std::wstring below = scratch.file(L"file") + L"\\sub";
  PlatformLogCapture log;
  EXPECT_TRUE(MkDirPathSafe(scratch.path() + L"\\fine"));
  EXPECT_FALSE(MkDirPathSafe(L"relative"));
  EXPECT_FALSE(MkDirPathSafe(below));
  std::vector<std::wstring> texts = log.Texts();
  EXPECT_THAT(texts, Contains(L".W|MkDirPathSafe: path = relative"));
  // The recursion reaches the file itself, which CreateDirectoryW refuses
  // as already existing (183).
  EXPECT_THAT(texts, Contains(L".W|MkDirPathSafe: path = " + scratch.file(L"file") + L", error = 183"));
  EXPECT_THAT(texts, Not(Contains(HasSubstr(L"fine"))));
}

TEST(PlatformLogTest, RmDirRecursiveSafeNamesEachFailure) {
  larktest::ScratchDir scratch(L"log-rmdir");
  std::wstring dotted = scratch.path() + L"\\dotted";
  ASSERT_TRUE(MkDirPathSafe(dotted + L"\\.keep"));
  PlatformLogCapture log;
  EXPECT_FALSE(RmDirRecursiveSafe(L""));
  EXPECT_FALSE(RmDirRecursiveSafe(scratch.file(L"missing")));
  EXPECT_FALSE(RmDirRecursiveSafe(dotted));
  std::vector<std::wstring> texts = log.Texts();
  EXPECT_THAT(texts, Contains(L" D|RmDirRecursiveSafe: "));
  EXPECT_THAT(texts, Contains(L".W|RmDirRecursiveSafe: Empty parameter fullpath"));
  EXPECT_THAT(texts, Contains(L".W|RmDirRecursiveSafe: Invalid directory, path = " + scratch.file(L"missing") +
                              L", error = 3"));
  EXPECT_THAT(texts, Contains(L".W|RmDirRecursiveSafe: Failed to remove directory, path = " + dotted +
                              L", error = 145"));
}

TEST(PlatformLogTest, CreateKeyLogsWhichStepFailed) {
  // A key name longer than 255 characters is refused by the registry (87).
  std::wstring name(300, L'k');
  std::wstring refused = L".W|CreateKey: Failed to create key under SOFTWARE K-Harbor\\" + name + L":" +
                         FormatSystemError(ERROR_INVALID_PARAMETER);
  // HKEY_USERS has no SOFTWARE key of its own (2).
  std::wstring unopened = L".W|CreateKey: Failed to open SOFTWARE:" + FormatSystemError(ERROR_FILE_NOT_FOUND);
  for (std::wstring* text : {&refused, &unopened}) {
    if (!text->empty() && text->back() == L'\r') text->pop_back();
  }
  PlatformLogCapture log;
  EXPECT_FALSE(CreateKey(HKEY_CURRENT_USER, name));
  EXPECT_FALSE(CreateKey(HKEY_USERS, L"x"));
  std::vector<std::wstring> texts = log.Texts();
  EXPECT_THAT(texts, Contains(L" D|CreateKey: "));
  EXPECT_THAT(texts, Contains(refused));
  EXPECT_THAT(texts, Contains(unopened));
}
