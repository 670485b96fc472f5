#include "installer/tests/StandIn.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>

#include "platform/NamedObjects.h"
#include "testsupport/TestEnv.h"

namespace standin {
namespace {

void AppendLine(const std::wstring& path, const std::wstring& line) {
  if (path.empty()) return;
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string bytes = larktest::Narrow(line) + "\n";
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

int RunCopy() {
  AppendLine(larktest::GetEnv(kCopyLog), GetCommandLineW());
  const std::wstring mode = larktest::GetEnv(kCopyMode);
  const size_t colon = mode.find(L':');
  const int code = colon == std::wstring::npos ? 0 : _wtoi(mode.c_str() + colon + 1);
  if (mode.compare(0, 6, L"signal") == 0) {
    HANDLE event = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, kAllowedToOperateEventName);
    if (!event) return 90;
    SetEvent(event);
    // Give the first process time to take the signal before waiting on
    // the same auto-reset event, as the installation page's worker does.
    Sleep(100);
    const DWORD wait = WaitForSingleObject(event, 20000);
    CloseHandle(event);
    if (wait != WAIT_OBJECT_0) return 91;
    Sleep(200);
  }
  return code;
}

}  // namespace

bool RunStandIn(int& exitCode) {
  const std::wstring line = GetCommandLineW();
  if (line.find(L" --open-agent ") != std::wstring::npos) {
    AppendLine(larktest::GetEnv(kTriggerLog), line);
    exitCode = 0;
    return true;
  }
  if (line.find(L" --elevated") != std::wstring::npos) {
    exitCode = RunCopy();
    return true;
  }
  return false;
}

std::wstring ReadLog(const std::wstring& path) {
  std::string bytes;
  if (!larktest::ReadFileBytes(path, bytes)) return std::wstring();
  return larktest::Widen(bytes);
}

}  // namespace standin

int main(int argc, char** argv) {
  int code = 0;
  if (standin::RunStandIn(code)) return code;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
