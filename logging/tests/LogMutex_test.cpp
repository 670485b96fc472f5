// The log-file mutex: its name, its access list as the kernel reports it,
// and two real processes appending to one log under it.
#include "logging/LogMutex.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "logging/FileAccess.h"
#include "logging/LogSecurity.h"
#include "logging/tests/LogTestSupport.h"
#include "testsupport/SecurityText.h"
#include "testsupport/TestEnv.h"

namespace {

TEST(LogMutexTest, CreatedMutexCarriesTheLogAccessList) {
  std::wstring name = larktest::UniqueName(L"Global\\LarkLogMutexTest_");
  HANDLE mutex = KhBcxLogging::CreateLogMutex(name.c_str());
  ASSERT_NE(mutex, nullptr);
  const wchar_t kExpected[] =
      L"D:(D;OICI;GA;;;AN)(A;OICI;GA;;;BA)(A;OICI;GA;;;LA)(A;OICI;GA;;;SY)(A;OICI;GRGWGX;;;AU)"
      L"(A;OICI;GRGWGX;;;BU)(A;OICI;GRGWGX;;;BG)";
  EXPECT_EQ(std::wstring(KhBcxLogging::kLogMutexSddl), kExpected);
  const std::wstring expected = larktest::NormalizedSddl(kExpected);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(larktest::ObjectDaclText(mutex, SE_KERNEL_OBJECT), expected);
  // A second create opens the same mutex.
  HANDLE again = KhBcxLogging::CreateLogMutex(name.c_str());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  ASSERT_NE(again, nullptr);
  CloseHandle(again);
  CloseHandle(mutex);
}

TEST(LogMutexTest, NameIsThePathWithUnderscoresInTheGlobalNamespace) {
  std::wstring unique = larktest::UniqueName(L"mutexname_");
  std::wstring path = L"C:\\ProgramData\\K-Harbor\\logs\\Lark\\" + unique + L".log";
  HANDLE mutex = KhBcxLogging::OpenLogFileMutex(path.c_str());
  ASSERT_NE(mutex, nullptr);
  std::wstring expected = L"Global\\KhBcxLogging_C:_ProgramData_K-Harbor_logs_Lark_" + unique + L".log";
  HANDLE opened = OpenMutexW(SYNCHRONIZE, FALSE, expected.c_str());
  EXPECT_NE(opened, nullptr) << larktest::Narrow(expected);
  if (opened) CloseHandle(opened);
  CloseHandle(mutex);
}

// Wine keeps no access list on files (it maps them to Unix modes), so the
// folder and file descriptor is checked as built.
TEST(LogMutexTest, LogFolderAndFileDescriptorGivesEveryoneFullAccess) {
  KhBcxLogging::LogSecurityAttributes security(KhBcxLogging::kEveryoneFullAccessSddl);
  SECURITY_ATTRIBUTES* attributes = security.Get();
  ASSERT_NE(attributes, nullptr);
  EXPECT_FALSE(attributes->bInheritHandle);
  LPWSTR text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(attributes->lpSecurityDescriptor, SDDL_REVISION_1,
                                                                   DACL_SECURITY_INFORMATION, &text, nullptr));
  EXPECT_EQ(std::wstring(text), larktest::NormalizedSddl(L"D:(A;OICI;GA;;;WD)"));
  LocalFree(text);
}

// Two processes append to one log under its mutex; every line arrives once
// and whole, also across rotations.
class TwoProcessTest : public ::testing::TestWithParam<std::pair<DWORD, DWORD>> {};

TEST_P(TwoProcessTest, NoLineIsTornOrLost) {
  const int kLines = 2000;
  const wchar_t* const kTags[] = {L"alpha", L"beta"};
  std::wstring name = larktest::UniqueName(L"twoprocess_");
  logtest::LoggingKey key(L"Lark", name);
  key.SetDword(L"LogMaxSizeKB", GetParam().first);
  key.SetDword(L"LogRotateCount", GetParam().second);
  std::wstring path = logtest::FreshLogPath(name);
  std::wstring eventName = larktest::UniqueName(L"LarkLogWriterStart_");
  HANDLE start = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
  ASSERT_NE(start, nullptr);

  std::vector<PROCESS_INFORMATION> processes;
  for (const wchar_t* tag : kTags) {
    std::wstring command = L"\"" + larktest::BuiltExe(L"LogWriterHelper") + L"\" " + name + L" " + tag + L" " +
                           std::to_wstring(kLines) + L" " + eventName;
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(larktest::StartProcess(command, pi)) << larktest::Narrow(command);
    processes.push_back(pi);
  }
  SetEvent(start);
  for (auto& pi : processes) {
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(start);

  std::map<std::wstring, std::vector<int>> seen;
  size_t files = 0;
  for (DWORD index = 0; index <= 99; ++index) {
    wchar_t file[1100];
    ASSERT_TRUE(KhBcxLogging::MakeRotatedFileName(_countof(file), path.c_str(), file, index));
    if (GetFileAttributesW(file) == INVALID_FILE_ATTRIBUTES) break;
    ++files;
    std::vector<std::wstring> lines;
    ASSERT_TRUE(logtest::ReadLogLines(file, lines)) << "file " << index;
    for (const auto& line : lines) {
      if (line.empty()) continue;  // the blank line before a start banner
      logtest::ParsedLine p;
      ASSERT_TRUE(logtest::ParseLine(line, p)) << "torn line: " << larktest::Narrow(line);
      const std::wstring kPrefix = L"LogWriterHelper::Main: ";
      size_t separator = p.text.find(L" line ");
      if (p.text.rfind(kPrefix, 0) == 0 && separator != std::wstring::npos) {
        seen[p.text.substr(kPrefix.size(), separator - kPrefix.size())].push_back(_wtoi(p.text.c_str() + separator + 6));
      }
    }
  }
  EXPECT_GE(files, GetParam().first >= 1000 ? 1u : 3u);
  for (const wchar_t* tag : kTags) {
    std::vector<int>& numbers = seen[tag];
    ASSERT_EQ(numbers.size(), static_cast<size_t>(kLines)) << larktest::Narrow(tag);
    std::sort(numbers.begin(), numbers.end());
    for (int i = 0; i < kLines; ++i) ASSERT_EQ(numbers[i], i) << larktest::Narrow(tag);
  }
  logtest::RemoveLogFiles(path);
}

// One file large enough for all lines; and a small limit with many files.
INSTANTIATE_TEST_SUITE_P(Limits, TwoProcessTest,
                         ::testing::Values(std::make_pair(10000u, 2u), std::make_pair(64u, 99u)));

}  // namespace
