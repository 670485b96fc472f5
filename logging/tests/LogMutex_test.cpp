// The log-file mutex: its name, its access list as the kernel reports it,
// and two real processes appending to one log under it.
#include "logging/LogMutex.h"

#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

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

// The access that a handle was granted, as the kernel reports it.
ACCESS_MASK GrantedAccess(HANDLE handle) {
  typedef NTSTATUS(NTAPI * QueryObject)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
  QueryObject query = reinterpret_cast<QueryObject>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  PUBLIC_OBJECT_BASIC_INFORMATION info = {};
  if (!query || query(handle, ObjectBasicInformation, &info, sizeof(info), nullptr) != 0) return 0;
  return info.GrantedAccess;
}

const wchar_t* const kWriterTags[] = {L"alpha", L"beta"};

// Starts one LogWriterHelper per tag on the log name, lets them go together
// and waits for them; false when one did not end well.
bool RunWriters(const std::wstring& name, int lines) {
  std::wstring eventName = larktest::UniqueName(L"LarkLogWriterStart_");
  HANDLE start = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
  if (!start) return false;
  bool ok = true;
  std::vector<PROCESS_INFORMATION> processes;
  for (const wchar_t* tag : kWriterTags) {
    std::wstring command = L"\"" + larktest::BuiltExe(L"LogWriterHelper") + L"\" " + name + L" " + tag + L" " +
                           std::to_wstring(lines) + L" " + eventName;
    PROCESS_INFORMATION pi;
    if (!larktest::StartProcess(command, pi)) {
      ADD_FAILURE() << "cannot start " << larktest::Narrow(command);
      ok = false;
      continue;
    }
    processes.push_back(pi);
  }
  SetEvent(start);
  for (auto& pi : processes) {
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "a writer did not end within 60 s";
      TerminateProcess(pi.hProcess, 1);
      ok = false;
    }
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    if (code != 0) ok = false;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(start);
  return ok;
}

// The writers' line numbers by tag, from the log and its numbered files;
// files counts the files read. A torn line fails the test.
std::map<std::wstring, std::vector<int>> WrittenLines(const std::wstring& path, size_t& files) {
  std::map<std::wstring, std::vector<int>> seen;
  files = 0;
  for (DWORD index = 0; index <= 99; ++index) {
    wchar_t file[1100];
    if (!KhBcxLogging::MakeRotatedFileName(_countof(file), path.c_str(), file, index)) break;
    if (GetFileAttributesW(file) == INVALID_FILE_ATTRIBUTES) break;
    ++files;
    std::vector<std::wstring> lines;
    EXPECT_TRUE(logtest::ReadLogLines(file, lines)) << "file " << index;
    for (const auto& line : lines) {
      if (line.empty()) continue;  // the blank line before a start banner
      logtest::ParsedLine p;
      EXPECT_TRUE(logtest::ParseLine(line, p)) << "torn line: " << larktest::Narrow(line);
      const std::wstring kPrefix = L"LogWriterHelper::Main: ";
      size_t separator = p.text.find(L" line ");
      if (p.text.rfind(kPrefix, 0) == 0 && separator != std::wstring::npos) {
        seen[p.text.substr(kPrefix.size(), separator - kPrefix.size())].push_back(_wtoi(p.text.c_str() + separator + 6));
      }
    }
  }
  return seen;
}

void ExpectEveryLineOnce(std::map<std::wstring, std::vector<int>>& seen, int lines) {
  for (const wchar_t* tag : kWriterTags) {
    std::vector<int>& numbers = seen[tag];
    ASSERT_EQ(numbers.size(), static_cast<size_t>(lines)) << larktest::Narrow(tag);
    std::sort(numbers.begin(), numbers.end());
    for (int i = 0; i < lines; ++i) ASSERT_EQ(numbers[i], i) << larktest::Narrow(tag);
  }
}

// Two processes append to one log under its mutex; every line arrives once
// and whole, also across rotations.
class TwoProcessTest : public ::testing::TestWithParam<std::pair<DWORD, DWORD>> {};

TEST_P(TwoProcessTest, NoLineIsTornOrLost) {
  const int kLines = 2000;
  std::wstring name = larktest::UniqueName(L"twoprocess_");
  logtest::LoggingKey key(L"Lark", name);
  key.SetDword(L"LogMaxSizeKB", GetParam().first);
  key.SetDword(L"LogRotateCount", GetParam().second);
  std::wstring path = logtest::FreshLogPath(name);
  EXPECT_TRUE(RunWriters(name, kLines));
  size_t files = 0;
  std::map<std::wstring, std::vector<int>> seen = WrittenLines(path, files);
  EXPECT_GE(files, GetParam().first >= 1000 ? 1u : 3u);
  ExpectEveryLineOnce(seen, kLines);
  logtest::RemoveLogFiles(path);
}

// One file large enough for all lines; and a small limit with many files.
INSTANTIATE_TEST_SUITE_P(Limits, TwoProcessTest,
                         ::testing::Values(std::make_pair(10000u, 2u), std::make_pair(64u, 99u)));

// A log mutex that another account created, with an access list that
// lets us wait on it and release it but not create it: the writers can only
// open it, and must still release it after each line, or one process keeps
// it and the other loses its lines.
TEST(LogMutexTest, WritersThatCanOnlyOpenTheMutexStillReleaseIt) {
  const int kLines = 300;
  std::wstring name = larktest::UniqueName(L"openonly_");
  logtest::LoggingKey key(L"Lark", name);
  key.SetDword(L"LogMaxSizeKB", 10000);
  std::wstring path = logtest::FreshLogPath(name);
  std::wstring mutexName = L"Global\\KhBcxLogging_" + path;
  std::replace(mutexName.begin() + 7, mutexName.end(), L'\\', L'_');

  // Owned by SYSTEM; everyone may only wait on it and release it
  // (SYNCHRONIZE | MUTEX_MODIFY_STATE).
  KhBcxLogging::LogSecurityAttributes waitAndRelease(L"O:SYD:(A;;0x00100001;;;WD)");
  ASSERT_NE(waitAndRelease.Get(), nullptr);
  HANDLE foreign = CreateMutexW(waitAndRelease.Get(), FALSE, mutexName.c_str());
  ASSERT_NE(foreign, nullptr);
  HANDLE full = CreateMutexW(nullptr, FALSE, mutexName.c_str());
  ASSERT_EQ(full, nullptr) << "the access list should refuse creating it again";
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

  // In this process first: the opened handle may wait and release. Wine
  // does not check the right to release, so the granted access is read
  // back as well: Windows refuses ReleaseMutex without MUTEX_MODIFY_STATE.
  HANDLE opened = KhBcxLogging::OpenLogFileMutex(path.c_str());
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(GrantedAccess(opened), static_cast<ACCESS_MASK>(SYNCHRONIZE | MUTEX_MODIFY_STATE));
  ASSERT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(opened)) << GetLastError();
  CloseHandle(opened);

  DWORD began = GetTickCount();
  EXPECT_TRUE(RunWriters(name, kLines));
  DWORD took = GetTickCount() - began;
  size_t files = 0;
  std::map<std::wstring, std::vector<int>> seen = WrittenLines(path, files);
  ExpectEveryLineOnce(seen, kLines);
  // A lost mutex shows as 500 ms waits per line.
  EXPECT_LT(took, 20000u);
  CloseHandle(foreign);
  logtest::RemoveLogFiles(path);
}

}  // namespace
