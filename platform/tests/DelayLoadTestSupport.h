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

// HKLM\key value `name` = data (REG_SZ) for the object's lifetime.
class RegistryValue {
 public:
  RegistryValue(const std::string& key, const std::string& name, const std::string& data)
      : m_key(key), m_name(name) {
    HKEY handle = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                        &disposition) != ERROR_SUCCESS) {
      return;
    }
    m_createdKey = disposition == REG_CREATED_NEW_KEY;
    m_set = RegSetValueExA(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(handle);
  }
  ~RegistryValue() {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_key.c_str(), 0, KEY_ALL_ACCESS, &handle) != ERROR_SUCCESS) return;
    RegDeleteValueA(handle, m_name.c_str());
    DWORD subKeys = 0, values = 0;
    RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(handle);
    if (m_createdKey && subKeys == 0 && values == 0) RegDeleteKeyA(HKEY_LOCAL_MACHINE, m_key.c_str());
  }
  RegistryValue(const RegistryValue&) = delete;
  RegistryValue& operator=(const RegistryValue&) = delete;
  bool ok() const { return m_set; }

 private:
  std::string m_key;
  std::string m_name;
  bool m_createdKey = false;
  bool m_set = false;
};

}  // namespace dltest
