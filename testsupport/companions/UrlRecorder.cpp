// Stand-in for a web browser: registered as a protocol handler in the test
// prefix with the command line
//   companions_url_recorder.exe "LOGFILE" "%1"
// it appends every argument after LOGFILE, joined by spaces, as one UTF-8
// line to LOGFILE and ends. One line per start lets a test count how often
// a page was opened.
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return 2;

  std::wstring line;
  for (int i = 2; i < argc; ++i) {
    if (i > 2) line += L' ';
    line += argv[i];
  }
  std::string bytes = ToUtf8(line) + "\r\n";

  // Appending in a single write keeps lines whole when several starts race.
  HANDLE log = CreateFileW(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  BOOL ok = WriteFile(log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(log);
  LocalFree(argv);
  return ok && written == bytes.size() ? 0 : 4;
}
