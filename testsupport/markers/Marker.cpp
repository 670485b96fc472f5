// A marker library: a file named like a system library (crypt32.dll,
// msi.dll, ...) that exports nothing. Loading it into a process appends one
// line, "<this library's path>\t<the process's program>", to markers.log
// beside it, so a test can place it where a planted file would lie and see
// whether anything loaded it.
#include <windows.h>

namespace {

void Record(HMODULE self) {
  wchar_t library[MAX_PATH] = {};
  wchar_t program[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(self, library, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  wchar_t log[MAX_PATH] = {};
  lstrcpyW(log, library);
  wchar_t* slash = log;
  for (wchar_t* c = log; *c; ++c)
    if (*c == L'\\') slash = c + 1;
  if (slash - log + 12 >= MAX_PATH) return;
  lstrcpyW(slash, L"markers.log");

  wchar_t line[2 * MAX_PATH + 4] = {};
  lstrcpyW(line, library);
  lstrcatW(line, L"\t");
  lstrcatW(line, program);
  lstrcatW(line, L"\r\n");
  char bytes[sizeof(line) * 2] = {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof(bytes), nullptr, nullptr);
  HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (size > 1) WriteFile(file, bytes, static_cast<DWORD>(size - 1), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Record(self);
  return TRUE;
}
