// Helpers of the resolver's tests: the built stand-in libraries, private
// copies of them under unique names, and registry values that remove
// themselves (with the key, when the test created it and left it empty).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "platform/DelayLoad.h"
#include "testsupport/TestEnv.h"

namespace dltest {

// BinaryDir()\standins\<variant>\<file>, variant "full" or "partial".
inline std::wstring StandinPath(const std::wstring& variant, const std::wstring& file) {
  return larktest::BinaryDir() + L"\\standins\\" + variant + L"\\" + file;
}

// A library name no other test uses, e.g. "lark_dl_123_4.dll".
inline std::string UniqueLibraryName() { return larktest::Narrow(larktest::UniqueName(L"lark_dl_")) + ".dll"; }

// HKLM\key value `name` = data (REG_SZ, stored as UTF-16) for the
// object's lifetime. Keys of the path that it had to create are removed
// again when they are left empty.
class RegistryValue {
 public:
  RegistryValue(const std::string& key, const std::string& name, const std::string& data)
      : RegistryValue(key, name, larktest::Widen(data)) {}
  RegistryValue(const std::string& key, const std::string& name, const std::wstring& data)
      : m_key(key), m_name(name) {
    // The shallowest key of the path that does not exist yet.
    for (size_t end = key.find('\\');; end = key.find('\\', end + 1)) {
      std::string part = key.substr(0, end);
      HKEY probe = nullptr;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, part.c_str(), 0, KEY_READ, &probe) != ERROR_SUCCESS) {
        m_firstCreated = part;
        break;
      }
      RegCloseKey(probe);
      if (end == std::string::npos) break;
    }
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS) {
      return;
    }
    std::wstring wideName = larktest::Widen(name);
    m_set = RegSetValueExW(handle, wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(handle);
  }
  ~RegistryValue() {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_key.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS) return;
    RegDeleteValueA(handle, m_name.c_str());
    RegCloseKey(handle);
    if (m_firstCreated.empty()) return;
    for (std::string key = m_key; key.size() >= m_firstCreated.size(); key = key.substr(0, key.rfind('\\'))) {
      if (!IsEmpty(key) || RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str()) != ERROR_SUCCESS) break;
      if (key.rfind('\\') == std::string::npos) break;
    }
  }
  RegistryValue(const RegistryValue&) = delete;
  RegistryValue& operator=(const RegistryValue&) = delete;
  bool ok() const { return m_set; }

 private:
  static bool IsEmpty(const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    DWORD subKeys = 1, values = 1;
    RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(handle);
    return subKeys == 0 && values == 0;
  }

  std::string m_key;
  std::string m_name;
  std::string m_firstCreated;  // empty: the whole path existed
  bool m_set = false;
};

}  // namespace dltest
