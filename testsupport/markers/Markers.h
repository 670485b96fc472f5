// Planting marker libraries (Marker.cpp) for the tests that show which
// folders a program loads its libraries from, and telling Wine to prefer a
// native copy of those names for one program, as Windows does for every
// library outside its known set: Wine otherwise always takes its built-in
// copy of a system library, wherever a file of that name lies.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "testsupport/TestEnv.h"

namespace larktest {

// The system libraries that the installer binds from the system folder.
inline const std::vector<std::wstring>& PlantedSystemLibraryNames() {
  static const std::vector<std::wstring> names = {L"crypt32", L"msi",     L"msimg32", L"wintrust",
                                                  L"wtsapi32", L"wininet", L"riched20"};
  return names;
}

// Copies the markers of the names (without ".dll") into folder.
inline bool PlantMarkers(const std::wstring& folder, const std::vector<std::wstring>& names) {
  for (const std::wstring& name : names) {
    const std::wstring from = BinaryDir() + L"\\markers\\" + name + L".dll";
    if (!CopyFileW(from.c_str(), (folder + L"\\" + name + L".dll").c_str(), FALSE)) return false;
  }
  return true;
}

// What the markers in folder recorded: one line per load, "<library>\t<program>".
inline std::string MarkerLoads(const std::wstring& folder) {
  std::string text;
  ReadFileBytes(folder + L"\\markers.log", text);
  return text;
}

// While it lives, Wine loads a native copy of each name first for the
// program of that file name: the values under HKCU, key
// Software\Wine\AppDefaults\<program>\DllOverrides, read when a process
// starts (WINEDLLOVERRIDES set inside a Windows process does not reach its
// children).
class PreferNativeLibraries {
 public:
  PreferNativeLibraries(const std::wstring& program, const std::vector<std::wstring>& names)
      : m_key(L"Software\\Wine\\AppDefaults\\" + program) {
    HKEY key = nullptr;
    const std::wstring overrides = m_key + L"\\DllOverrides";
    if (RegCreateKeyExW(HKEY_CURRENT_USER, overrides.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
      return;
    const wchar_t kOrder[] = L"native,builtin";
    for (const std::wstring& name : names)
      RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(kOrder), sizeof(kOrder));
    RegCloseKey(key);
    m_set = true;
  }
  ~PreferNativeLibraries() {
    RegDeleteKeyW(HKEY_CURRENT_USER, (m_key + L"\\DllOverrides").c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, m_key.c_str());
  }
  PreferNativeLibraries(const PreferNativeLibraries&) = delete;
  PreferNativeLibraries& operator=(const PreferNativeLibraries&) = delete;
  bool IsSet() const { return m_set; }

 private:
  std::wstring m_key;
  bool m_set = false;
};

}  // namespace larktest
