// Stand-in for the installed agent's programs (khhoster32.exe, trigger.exe,
// kh_installer_runner.exe, kh_reload_latebound_settings.exe): one program
// built under each name. Every start appends one line to the start log and
// exits 0 at once:
//   <program file name> TAB <process id> TAB <local time> TAB <command line> CR LF
// in UTF-8. The log is %LARK_AGENT_LOG% when set, otherwise
// C:\ProgramData\LarkAgentStandIn\starts.log (see AgentStandIns.h).
#include <windows.h>

#include <string>

namespace {

std::wstring LogPath() {
  wchar_t buffer[MAX_PATH * 2] = L"";
  DWORD n = GetEnvironmentVariableW(L"LARK_AGENT_LOG", buffer, MAX_PATH * 2);
  if (n > 0 && n < MAX_PATH * 2) return buffer;
  wchar_t data[MAX_PATH] = L"";
  n = GetEnvironmentVariableW(L"ProgramData", data, MAX_PATH);
  std::wstring folder = (n > 0 && n < MAX_PATH) ? std::wstring(data) : std::wstring(L"C:\\ProgramData");
  folder += L"\\LarkAgentStandIn";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + L"\\starts.log";
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  wchar_t module[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring name = module;
  size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name = name.substr(slash + 1);
  SYSTEMTIME t;
  GetLocalTime(&t);
  wchar_t stamp[64];
  wsprintfW(stamp, L"%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
            t.wMilliseconds);
  std::wstring line = name + L"\t" + std::to_wstring(GetCurrentProcessId()) + L"\t" + stamp + L"\t" +
                      GetCommandLineW() + L"\r\n";
  std::string bytes = Utf8(line);
  // Several stand-ins may start at once: append in one write, retry while
  // another holds the file.
  std::wstring path = LogPath();
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
      CloseHandle(file);
      break;
    }
    Sleep(10);
  }
  return 0;
}
