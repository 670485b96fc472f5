// lark_run_report TIMEOUT_SECONDS COMMAND_LINE
// Starts COMMAND_LINE, waits up to TIMEOUT_SECONDS and prints the full
// 32-bit exit code in decimal ("hang" when it had to be ended), so scripts
// tell a crash code such as 3221225477 from the program's own small codes.
// Exit code: 0 when the program ended, 1 on a hang, 2 when it did not start.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fwprintf(stderr, L"usage: lark_run_report TIMEOUT_SECONDS COMMAND_LINE\n");
    return 2;
  }
  DWORD timeoutMs = static_cast<DWORD>(_wtoi(argv[1])) * 1000;
  std::wstring commandLine = argv[2];
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    wprintf(L"nostart %lu\n", GetLastError());
    return 2;
  }
  CloseHandle(process.hThread);
  if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    wprintf(L"hang\n");
    return 1;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  wprintf(L"%lu\n", code);
  return 0;
}
