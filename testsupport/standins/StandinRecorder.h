// Shared by the stand-ins of the maker's libraries: each call is appended,
// with its arguments, as one line to calls.log, and the answers come from
// standin.ini (section [answers]), both in the folder that the environment
// variable LARK_STANDIN_DIR names. Without it nothing is recorded and every
// answer is its default.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

namespace standin {

inline std::string Folder() {
  char folder[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("LARK_STANDIN_DIR", folder, MAX_PATH);
  return (n > 0 && n < MAX_PATH) ? std::string(folder, n) : std::string();
}

inline void Record(const char* format, ...) {
  std::string folder = Folder();
  if (folder.empty()) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(line, sizeof(line) - 2, format, args);
  va_end(args);
  if (n < 0) return;
  if (n > static_cast<int>(sizeof(line)) - 3) n = sizeof(line) - 3;
  line[n++] = '\n';
  HANDLE file = CreateFileA((folder + "\\calls.log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
  CloseHandle(file);
}

// The answer named `name`, or fallback when it is not set.
inline int Answer(const char* name, int fallback) {
  std::string folder = Folder();
  if (folder.empty()) return fallback;
  return static_cast<int>(GetPrivateProfileIntA("answers", name, fallback, (folder + "\\standin.ini").c_str()));
}

// A handle value as the stand-ins make them: a small number in a pointer.
inline void* MakeHandle(int value) { return reinterpret_cast<void*>(static_cast<intptr_t>(value)); }
inline unsigned long HandleValue(const void* handle) {
  return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle));
}

// "*<value>" for an out pointer (its value on entry), "null" for none.
inline std::string Preset(const int* out) {
  return out ? "*" + std::to_string(*out) : std::string("null");
}
inline std::string Preset(void* const* out) {
  return out ? "*" + std::to_string(HandleValue(*out)) : std::string("null");
}

}  // namespace standin
