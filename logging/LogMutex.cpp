#include "logging/LogMutex.h"

#include <wchar.h>

#include <vector>

#include "logging/LogFormat.h"
#include "logging/LogSecurity.h"

namespace KhBcxLogging {

const wchar_t kLogMutexSddl[] =
    L"D:(D;OICI;GA;;;AN)(A;OICI;GA;;;BA)(A;OICI;GA;;;LA)(A;OICI;GA;;;SY)(A;OICI;GRGWGX;;;AU)"
    L"(A;OICI;GRGWGX;;;BU)(A;OICI;GRGWGX;;;BG)";

namespace {

// Kernel object names may not hold '\' beyond the namespace prefix.
void ReplaceBackslashes(wchar_t* name) {
  wchar_t* p = name;
  if (wcsncmp(p, L"Global\\", 7) == 0) {
    p += 7;
  } else if (wcsncmp(p, L"Local\\", 6) == 0) {
    p += 6;
  }
  for (; *p; ++p) {
    if (*p == L'\\') {
      *p = L'_';
    }
  }
}

}  // namespace

HANDLE OpenLogFileMutex(const wchar_t* path) {
  const wchar_t kPrefix[] = L"Global\\KhBcxLogging_";
  size_t capacity = wcslen(path) + 21;
  std::vector<wchar_t> name(capacity);
  if (FormatW(name.data(), capacity, L"%s%s", kPrefix, path) < 0) {
    return nullptr;
  }
  ReplaceBackslashes(name.data());
  return CreateLogMutex(name.data());
}

HANDLE CreateLogMutex(const wchar_t* name) {
  LogSecurityAttributes security(kLogMutexSddl);
  HANDLE mutex = CreateMutexW(security.Get(), FALSE, name);
  if (!mutex && GetLastError() == ERROR_ACCESS_DENIED) {
    // Waiting needs SYNCHRONIZE, and releasing needs MUTEX_MODIFY_STATE:
    // without it ReleaseMutex fails, this process keeps the mutex, and
    // every other process loses its lines.
    mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
  }
  return mutex;
}

}  // namespace KhBcxLogging
