// Shared by the stand-ins of the agent's late-bound package library and
// operator-configuration library: where a test wants their answers from and
// their calls written to. The folder is named by the environment variable
// LARK_OPERATOR_STANDIN_DIR (inherited by the installer and its elevated
// copy); it holds "answers.ini" (section [answers], missing keys answer 0)
// and "calls.txt" (one UTF-8 line per call, fields separated by '|').
#pragma once

#include <windows.h>

#include <string>

namespace standin {

inline std::wstring Folder() {
  wchar_t buffer[1024];
  DWORD n = GetEnvironmentVariableW(L"LARK_OPERATOR_STANDIN_DIR", buffer, 1024);
  if (n == 0 || n >= 1024) return std::wstring();
  return std::wstring(buffer, n);
}

// The configured answer for key, 0 when none is configured.
inline int Answer(const wchar_t* key) {
  std::wstring folder = Folder();
  if (folder.empty()) return 0;
  std::wstring ini = folder + L"\\answers.ini";
  return static_cast<int>(GetPrivateProfileIntW(L"answers", key, 0, ini.c_str()));
}

// A borrowed string of a caller, written so that null and empty differ.
inline std::wstring Text(const wchar_t* text) {
  return text == nullptr ? std::wstring(L"<null>") : L"'" + std::wstring(text) + L"'";
}

// Appends one line to calls.txt; the last error of the caller is kept.
inline void Record(const std::wstring& line) {
  DWORD lastError = GetLastError();
  std::wstring folder = Folder();
  if (!folder.empty()) {
    std::wstring path = folder + L"\\calls.txt";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      std::wstring text = line + L"\n";
      int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, nullptr);
      std::string bytes(static_cast<size_t>(size), '\0');
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                          nullptr);
      DWORD written = 0;
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
      CloseHandle(file);
    }
  }
  SetLastError(lastError);
}

}  // namespace standin
