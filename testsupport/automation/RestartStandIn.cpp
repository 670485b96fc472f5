// Stands in for Wine's wineboot.exe in an end-to-end prefix, so that a
// restart that the installer asks for is recorded instead of ending the
// session. Wine's ExitWindowsEx starts "<system folder>\wineboot.exe" with
// "--end-session" (plus "--shutdown" when no restart is wanted); with this
// program copied over wineboot.exe and the override "wineboot.exe"="native"
// under HKCU\Software\Wine\DllOverrides (or WINEDLLOVERRIDES=wineboot.exe=n
// in the Unix environment that starts Wine), it runs instead and appends
// its command line to %LARK_RESTART_LOG% (default
// C:\ProgramData\LarkRestartStandIn\restart.log). The installer itself runs
// unchanged. Without the override Wine keeps using its own wineboot, so the
// copy alone disturbs no other program; remove both after the run, since
// Wine also starts wineboot when a prefix needs updating.
#include <windows.h>

int wmain() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(L"LARK_RESTART_LOG", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    CreateDirectoryW(L"C:\\ProgramData\\LarkRestartStandIn", nullptr);
    lstrcpyW(path, L"C:\\ProgramData\\LarkRestartStandIn\\restart.log");
  }
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  char line[4096];
  const int length = WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, line, sizeof(line) - 2, nullptr, nullptr);
  DWORD written = 0;
  if (length > 0) WriteFile(file, line, static_cast<DWORD>(length - 1), &written, nullptr);
  WriteFile(file, "\r\n", 2, &written, nullptr);
  CloseHandle(file);
  return 0;
}
