#include "platform/SystemLibrary.h"

#include "logging/Log.h"
#include "platform/SystemFolder.h"

namespace {

// Not in every version of the headers this program is built for.
typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD flags);
typedef BOOL(WINAPI* SetDllDirectoryFn)(LPCWSTR folder);
const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

}  // namespace

void RestrictLibrarySearch() {
  // kernel32 is always the system's own: it is loaded before the program.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  // Absent before Windows 8 unless an update added it.
  const SetDefaultDllDirectoriesFn setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault) setDefault(kSearchSystem32);
  const SetDllDirectoryFn setDirectory = reinterpret_cast<SetDllDirectoryFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")));
  if (setDirectory) setDirectory(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* fileName) {
  const wchar_t* const self = L"LoadSystemLibrary";
  const std::wstring path = SystemFilePath(fileName);
  if (path.empty()) {
    LogW(2, L"%s: No system folder for %s", self, fileName);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) LogW(2, L"%s: Failed to load %s, error = %d", self, path.c_str(), static_cast<int>(GetLastError()));
  return module;
}
