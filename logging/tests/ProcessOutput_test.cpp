// What a writer process leaves behind: its debugger output when the
// settings ask for it, and the exit-time banner of a log it never closed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logging/tests/LogTestSupport.h"
#include "testsupport/TestEnv.h"

namespace {

std::wstring HelperCommand(const std::wstring& logName, int lines, const wchar_t* extra = L"") {
  return L"\"" + larktest::BuiltExe(L"LogWriterHelper") + L"\" " + logName + L" dbg " + std::to_wstring(lines) +
         L" - " + extra;
}

// Runs the command as a debuggee and returns every debug string it wrote.
std::vector<std::string> DebugStringsOf(const std::wstring& command, DWORD& exitCode) {
  std::vector<std::string> strings;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi;
  std::wstring line = command;
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &si,
                      &pi)) {
    ADD_FAILURE() << "CreateProcess " << GetLastError();
    return strings;
  }
  DWORD deadline = GetTickCount() + 30000;
  for (bool done = false; !done && GetTickCount() < deadline;) {
    DEBUG_EVENT event;
    if (!WaitForDebugEvent(&event, 1000)) continue;
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
        size_t unit = info.fUnicode ? 2 : 1;
        std::string raw(info.nDebugStringLength * unit, '\0');
        SIZE_T read = 0;
        ReadProcessMemory(pi.hProcess, info.lpDebugStringData, &raw[0], raw.size(), &read);
        raw.resize(read);
        if (info.fUnicode) {
          std::wstring wide(raw.size() / 2, L'\0');
          memcpy(&wide[0], raw.data(), wide.size() * 2);
          raw = larktest::Narrow(wide);
        }
        while (!raw.empty() && raw.back() == '\0') raw.pop_back();
        strings.push_back(raw);
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
          status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        exitCode = event.u.ExitProcess.dwExitCode;
        done = true;
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return strings;
}

size_t CountContaining(const std::vector<std::string>& strings, const std::string& text) {
  size_t count = 0;
  for (const auto& s : strings) count += s.find(text) != std::string::npos;
  return count;
}

TEST(ProcessOutputTest, DebugOutputOnlyWhenTheSettingIsExactlyOne) {
  struct Case {
    DWORD setting;
    bool mirrored;
  } const cases[] = {{1, true}, {0, false}, {2, false}};
  for (const Case& c : cases) {
    std::wstring name = larktest::UniqueName(L"debugoutput_");
    logtest::LoggingKey key(L"Lark", name);
    key.SetDword(L"DebugOutputLogging", c.setting);
    std::wstring path = logtest::FreshLogPath(name);
    DWORD exitCode = 99;
    std::vector<std::string> strings = DebugStringsOf(HelperCommand(name, 3), exitCode);
    EXPECT_EQ(exitCode, 0u);
    size_t lines = CountContaining(strings, "LogWriterHelper::Main: dbg line ");
    EXPECT_EQ(lines, c.mirrored ? 3u : 0u) << c.setting;
    if (c.mirrored) {
      EXPECT_EQ(CountContaining(strings, "***  LOGGING STARTED  ***"), 1u);
      EXPECT_EQ(CountContaining(strings, "]  I: LogWriterHelper::Main: dbg line 0\r\n"), 1u);
    }
    // The file gets the lines either way.
    std::vector<std::wstring> fileLines;
    EXPECT_TRUE(logtest::ReadLogLines(path, fileLines));
    EXPECT_EQ(fileLines.size(), 6u);
    logtest::RemoveLogFiles(path);
  }
}

TEST(ProcessOutputTest, LogLeftOpenGetsTheAutoClosedBannerAtExit) {
  std::wstring name = larktest::UniqueName(L"autoclose_");
  logtest::LoggingKey key(L"Lark", name);
  std::wstring path = logtest::FreshLogPath(name);
  larktest::ProcessResult result = larktest::RunProcess(HelperCommand(name, 2, L"noclose"));
  ASSERT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 0u);
  std::vector<std::wstring> lines;
  ASSERT_TRUE(logtest::ReadLogLines(path, lines));
  ASSERT_EQ(lines.size(), 5u);
  logtest::ParsedLine last;
  ASSERT_TRUE(logtest::ParseLine(lines.back(), last));
  EXPECT_EQ(last.text, L"***  LOG AUTO-CLOSED ***");
  EXPECT_EQ(last.tag, L" I");
  logtest::RemoveLogFiles(path);
}

}  // namespace
