// Runs both builds of apply.exe with a browser stand-in registered for the
// pages' protocol and checks that each opens its page exactly once, shows
// no window of its own (the earlier build only its help box, which the test
// answers) and ends with 0, also when the page cannot be opened.
//
// Under Wine the shell resolves a URL protocol through HKEY_CLASSES_ROOT
// only (HKCU\Software\Classes is not consulted), so the stand-in is
// registered there. That is machine-wide state in the prefix: this
// executable runs alone (RUN_SERIAL) and puts the original keys back.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // RegCopyTreeW, RegDeleteTreeW
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <ostream>
#include <string>
#include <vector>

#include "PartnerData.h"
#include "testsupport/TestEnv.h"

using namespace larktest;

namespace {

const wchar_t kBackupKey[] = L"Software\\LarkTests\\CompanionsProtocolBackup";

std::wstring SchemeOf(const std::wstring& address) { return address.substr(0, address.find(L':')); }

const std::wstring kRenewalPage = Widen(APPLY_RENEWAL_PAGE);
const std::wstring kShopPage = Widen(APPLY_SHOP_PAGE);

// Saves HKCR\<scheme> of both pages' protocols before the first test and
// restores them after the last one. A backup left behind by a run that
// crashed is restored first, so the prefix's real association survives.
class ProtocolBackup : public ::testing::Environment {
 public:
  void SetUp() override {
    HKEY leftover;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kBackupKey, 0, KEY_READ, &leftover) == ERROR_SUCCESS) {
      RegCloseKey(leftover);
      RestoreAll();
    }
    for (const std::wstring& scheme : Schemes()) Save(scheme);
  }
  void TearDown() override {
    if (!RestoreAll()) ADD_FAILURE() << "could not restore the protocol associations";
  }

 private:
  static std::set<std::wstring> Schemes() { return {SchemeOf(kRenewalPage), SchemeOf(kShopPage)}; }

  static void Save(const std::wstring& scheme) {
    HKEY backup;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kBackupKey) + L"\\" + scheme).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &backup, nullptr),
              ERROR_SUCCESS);
    HKEY original;
    DWORD existed = RegOpenKeyExW(HKEY_CLASSES_ROOT, scheme.c_str(), 0, KEY_READ, &original) == ERROR_SUCCESS;
    if (existed) {
      HKEY tree;
      ASSERT_EQ(RegCreateKeyExW(backup, L"tree", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &tree, nullptr), ERROR_SUCCESS);
      EXPECT_EQ(RegCopyTreeW(original, nullptr, tree), ERROR_SUCCESS);
      RegCloseKey(tree);
      RegCloseKey(original);
    }
    RegSetValueExW(backup, L"Existed", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&existed), sizeof existed);
    RegCloseKey(backup);
  }

  static bool RestoreAll() {
    HKEY backups;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kBackupKey, 0, KEY_READ, &backups) != ERROR_SUCCESS) return true;
    bool ok = true;
    wchar_t scheme[256];
    for (DWORD i = 0; RegEnumKeyW(backups, i, scheme, 256) == ERROR_SUCCESS; ++i) {
      HKEY backup;
      if (RegOpenKeyExW(backups, scheme, 0, KEY_READ, &backup) != ERROR_SUCCESS) {
        ok = false;
        continue;
      }
      DWORD existed = 0, size = sizeof existed;
      RegQueryValueExW(backup, L"Existed", nullptr, nullptr, reinterpret_cast<BYTE*>(&existed), &size);
      RegDeleteTreeW(HKEY_CLASSES_ROOT, scheme);
      if (existed) {
        HKEY restored;
        ok = RegCreateKeyExW(HKEY_CLASSES_ROOT, scheme, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &restored, nullptr) ==
                 ERROR_SUCCESS &&
             RegCopyTreeW(backup, L"tree", restored) == ERROR_SUCCESS && ok;
        RegCloseKey(restored);
      }
      RegCloseKey(backup);
    }
    RegCloseKey(backups);
    return RegDeleteTreeW(HKEY_CURRENT_USER, kBackupKey) == ERROR_SUCCESS && ok;
  }
};

::testing::Environment* const g_protocolBackup = ::testing::AddGlobalTestEnvironment(new ProtocolBackup);

// Makes `command` the only handler of the protocol; empty: no handler at all.
void SetProtocolHandler(const std::wstring& scheme, const std::wstring& command) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, scheme.c_str());
  if (command.empty()) return;
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, scheme.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
  HKEY commandKey;
  ASSERT_EQ(RegCreateKeyExW(key, L"shell\\open\\command", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &commandKey, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(commandKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                 static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(commandKey);
  RegCloseKey(key);
}

std::wstring RecorderCommand(const std::wstring& logPath) {
  return L"\"" + BuiltExe(L"companions_url_recorder") + L"\" \"" + logPath + L"\" \"%1\"";
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The addresses the recorder was started with, one per start.
std::vector<std::wstring> RecordedAddresses(const std::wstring& logPath) {
  std::string bytes;
  ReadFileBytes(logPath, bytes);
  std::vector<std::wstring> lines;
  size_t start = 0, end;
  while ((end = bytes.find("\r\n", start)) != std::string::npos) {
    lines.push_back(Widen(bytes.substr(start, end - start)));
    start = end + 2;
  }
  return lines;
}

std::wstring WindowText(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

struct ApplyRun {
  bool started = false;
  bool timedOut = false;
  DWORD exitCode = 0;
  bool childrenEnded = false;                    // every process it started has ended too
  std::vector<std::wstring> helpTexts;           // one per "Aide" box, in order
  bool pageOpenedBeforeFirstHelp = false;
  std::vector<std::wstring> otherVisibleWindows;  // class and title of each
};

struct WatchState {
  DWORD processId;
  const std::wstring* logPath;
  ApplyRun* run;
  std::set<HWND> seen;
};

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
  std::wstring text = WindowText(child);
  if (ClassOf(child) == L"Static" && !text.empty()) *reinterpret_cast<std::wstring*>(param) = text;
  return TRUE;
}

// Looks at the program's visible top-level windows: help boxes are noted
// and answered with their OK button, anything else is recorded as a fault.
BOOL CALLBACK WatchWindow(HWND window, LPARAM param) {
  WatchState& state = *reinterpret_cast<WatchState*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != state.processId || !IsWindowVisible(window)) return TRUE;
  if (ClassOf(window) == L"#32770" && WindowText(window) == L"Aide") {
    if (state.seen.insert(window).second) {
      std::wstring text;
      EnumChildWindows(window, CollectStaticText, reinterpret_cast<LPARAM>(&text));
      // Later boxes (one per message of the failed creation) come after
      // the page was opened; only the first one must precede it.
      if (state.run->helpTexts.empty() && Exists(*state.logPath)) state.run->pageOpenedBeforeFirstHelp = true;
      state.run->helpTexts.push_back(text);
    }
    PostMessageW(window, WM_COMMAND, IDOK, 0);
  } else if (state.seen.insert(window).second) {
    state.run->otherVisibleWindows.push_back(ClassOf(window) + L" \"" + WindowText(window) + L"\"");
  }
  return TRUE;
}

// Starts the program in a job, so that the processes it starts (the
// browser stand-in) can be waited for as well, and watches its windows.
ApplyRun RunApply(const std::wstring& target, const std::wstring& logPath) {
  ApplyRun run;
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (!job) return run;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::wstring commandLine = L"\"" + BuiltExe(target) + L"\"";
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si,
                      &pi)) {
    CloseHandle(job);
    return run;
  }
  run.started = true;
  AssignProcessToJobObject(job, pi.hProcess);
  ResumeThread(pi.hThread);

  WatchState state{pi.dwProcessId, &logPath, &run, {}};
  const DWORD deadline = GetTickCount() + 20000;
  while (WaitForSingleObject(pi.hProcess, 10) == WAIT_TIMEOUT) {
    EnumWindows(WatchWindow, reinterpret_cast<LPARAM>(&state));
    if (GetTickCount() > deadline) {
      run.timedOut = true;
      TerminateJobObject(job, 0xDEAD);
      WaitForSingleObject(pi.hProcess, 5000);
      break;
    }
  }
  GetExitCodeProcess(pi.hProcess, &run.exitCode);

  for (int i = 0; i < 1000 && !run.childrenEnded; ++i) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    run.childrenEnded = QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info,
                                                  nullptr) &&
                        info.ActiveProcesses == 0;
    if (!run.childrenEnded) Sleep(10);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(job);
  return run;
}

void ExpectQuietEnd(const ApplyRun& run) {
  ASSERT_TRUE(run.started);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.childrenEnded);
  for (const std::wstring& window : run.otherVisibleWindows) ADD_FAILURE() << "visible window " << Narrow(window);
}

TEST(ApplyOpensPage, CurrentBuildOpensTheRenewalPageOnceWithoutAWindow) {
  ScratchDir dir(L"apply");
  const std::wstring log = dir.file(L"opened.txt");
  SetProtocolHandler(SchemeOf(kRenewalPage), RecorderCommand(log));

  ApplyRun run = RunApply(L"apply", log);

  ExpectQuietEnd(run);
  EXPECT_TRUE(run.helpTexts.empty());
  EXPECT_EQ(RecordedAddresses(log), std::vector<std::wstring>{kRenewalPage});
}

TEST(ApplyOpensPage, EarlierBuildShowsItsHelpThenOpensTheShopPageOnce) {
  ScratchDir dir(L"apply-legacy");
  const std::wstring log = dir.file(L"opened.txt");
  SetProtocolHandler(SchemeOf(kShopPage), RecorderCommand(log));

  ApplyRun run = RunApply(L"apply_legacy", log);

  ExpectQuietEnd(run);
  ASSERT_FALSE(run.helpTexts.empty()) << "no help box with the caption \"Aide\"";
  // The text is stored in the ANSI code page; it must read right on a
  // system that uses that code page (the test prefix does).
  EXPECT_EQ(Narrow(run.helpTexts.front()), APPLY_HELP_TEXT " " APPLY_PHONE_NUMBER) << "ANSI code page " << GetACP();
  EXPECT_FALSE(run.pageOpenedBeforeFirstHelp) << "the page opened before the first help box was answered";
  EXPECT_EQ(RecordedAddresses(log), std::vector<std::wstring>{kShopPage});
}

struct NoBrowserCase {
  const char* name;
  const wchar_t* target;
  bool handlerNamesMissingProgram;  // false: the protocol has no handler at all
};

void PrintTo(const NoBrowserCase& c, std::ostream* os) { *os << c.name; }

class ApplyWithoutBrowser : public ::testing::TestWithParam<NoBrowserCase> {};

TEST_P(ApplyWithoutBrowser, EndsWithZeroAndReportsNothing) {
  const NoBrowserCase& c = GetParam();
  ScratchDir dir(L"apply-nobrowser");
  const std::wstring log = dir.file(L"opened.txt");
  const std::wstring page = std::wstring(c.target) == L"apply" ? kRenewalPage : kShopPage;
  SetProtocolHandler(SchemeOf(page),
                     c.handlerNamesMissingProgram ? L"\"" + dir.file(L"no-such-browser.exe") + L"\" \"%1\"" : L"");

  ApplyRun run = RunApply(c.target, log);

  ExpectQuietEnd(run);
  EXPECT_FALSE(Exists(log));
}

const NoBrowserCase kNoBrowserCases[] = {
    {"CurrentBuildNoHandler", L"apply", false},
    {"CurrentBuildMissingBrowser", L"apply", true},
    {"EarlierBuildNoHandler", L"apply_legacy", false},
    {"EarlierBuildMissingBrowser", L"apply_legacy", true},
};

INSTANTIATE_TEST_SUITE_P(Cases, ApplyWithoutBrowser, ::testing::ValuesIn(kNoBrowserCases),
                         [](const ::testing::TestParamInfo<NoBrowserCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
