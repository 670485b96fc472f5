// Stand-in for rundll32.exe, built as rundll32.exe into the folder of the
// conflicting-product page's test; the test copies it into the folder that
// it gives the page as the system folder, and into its current folder. It
// appends "<its own path>\t<its whole command line>" as one UTF-8 line to
// the file that the environment variable LARK_RUNDLL32_RECORD names and
// ends; without that variable it does nothing. It never opens a control
// panel.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"LARK_RUNDLL32_RECORD", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring record = std::wstring(self) + L"\t" + GetCommandLineW();
  const wchar_t* command = record.c_str();
  const int size = WideCharToMultiByte(CP_UTF8, 0, command, -1, nullptr, 0, nullptr, nullptr);
  std::string line(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, command, -1, &line[0], size, nullptr, nullptr);
  line += "\r\n";
  // One write per start keeps lines whole when starts overlap.
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == line.size() ? 0 : 3;
}
