// Registry key owner and the fixed readers of the installed agent's settings.
#include "platform/RegKey.h"

#include <memory>

#include "logging/Log.h"
#include "platform/NamedObjects.h"
#include "platform/PathUtils.h"

namespace {

const wchar_t kLarkClientKey[] = L"SOFTWARE\\K-Harbor\\Lark Client";
const wchar_t kLateboundSettingsKey[] = L"SOFTWARE\\K-Harbor\\BCX\\Settings\\";

DWORD StringBytes(const wchar_t* text) { return static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t)); }

}  // namespace

CRegKey::CRegKey() : m_hKey(nullptr) {}

CRegKey::~CRegKey() { Close(); }

long CRegKey::WriteDword(DWORD value, std::wstring name) { return WriteDword(value, name.c_str()); }

long CRegKey::WriteString(std::wstring value, std::wstring name) {
  return RegSetValueExW(m_hKey, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

long CRegKey::WriteBinary(const BYTE* data, DWORD size, const wchar_t* name) {
  return RegSetValueExW(m_hKey, name, 0, REG_BINARY, data, size);
}

long CRegKey::WriteDword(DWORD value, const wchar_t* name) {
  return RegSetValueExW(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

long CRegKey::WriteString(const wchar_t* value, const wchar_t* name) {
  return RegSetValueExW(m_hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), StringBytes(value));
}

long CRegKey::ReadValue(DWORD* out, std::wstring name) {
  DWORD size = sizeof(DWORD);
  return RegQueryValueExW(m_hKey, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(out), &size);
}

long CRegKey::ReadString(std::wstring& out, std::wstring name) {
  DWORD size = 0;
  long result = RegQueryValueExW(m_hKey, name.c_str(), nullptr, nullptr, nullptr, &size);
  if (size == 0) return result;
  // One character more than the value holds, so that a string stored
  // without its terminator still ends inside the buffer.
  size_t chars = size / 2 + 1;
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[chars]());
  DWORD read = size;
  long second = RegQueryValueExW(m_hKey, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.get()), &read);
  if (second != ERROR_SUCCESS) {
    // The value changed between the two queries; report that rather than
    // a success with nothing read.
    return result != ERROR_SUCCESS ? result : second;
  }
  buffer[(read & ~1u) / 2] = L'\0';
  out.assign(buffer.get());
  return result;
}

long CRegKey::ReadValue(void* data, const wchar_t* name, DWORD* size) {
  return RegQueryValueExW(m_hKey, name, nullptr, nullptr, static_cast<BYTE*>(data), size);
}

long CRegKey::WriteSubKeyString(const wchar_t* subkey, const wchar_t* value, const wchar_t* name) {
  HKEY key = nullptr;
  long result = RegCreateKeyExW(m_hKey, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                nullptr);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), StringBytes(value));
  long closed = RegCloseKey(key);
  return result != ERROR_SUCCESS ? result : closed;
}

long CRegKey::CreateSubKey(HKEY parent, std::wstring subkey, wchar_t* keyClass, DWORD options, REGSAM access,
                           SECURITY_ATTRIBUTES* security, DWORD* disposition) {
  return CreateSubKey(parent, subkey.c_str(), keyClass, options, access, security, disposition);
}

long CRegKey::CreateSubKey(HKEY parent, const wchar_t* subkey, wchar_t* keyClass, DWORD options, REGSAM access,
                           SECURITY_ATTRIBUTES* security, DWORD* disposition) {
  HKEY key = nullptr;
  DWORD created = 0;
  long result = RegCreateKeyExW(parent, subkey, 0, keyClass, options, access, security, &key, &created);
  if (result != ERROR_SUCCESS) return result;
  if (disposition) *disposition = created;
  long closed = Close();
  m_hKey = key;
  return closed;
}

long CRegKey::OpenKey(HKEY parent, std::wstring subkey, REGSAM access) {
  return OpenKey(parent, subkey.c_str(), access);
}

long CRegKey::OpenKey(HKEY parent, const wchar_t* subkey, REGSAM access) {
  HKEY key = nullptr;
  long result = RegOpenKeyExW(parent, subkey, 0, access, &key);
  if (result != ERROR_SUCCESS) return result;
  long closed = Close();
  m_hKey = key;
  return closed;
}

long CRegKey::Close() {
  if (!m_hKey) return ERROR_SUCCESS;
  long result = RegCloseKey(m_hKey);
  m_hKey = nullptr;
  return result;
}

HKEY CRegKey::Detach() {
  HKEY key = m_hKey;
  m_hKey = nullptr;
  return key;
}

void CRegKey::Attach(HKEY key) { m_hKey = key; }

long CRegKey::RemoveSubKey(const wchar_t* subkey) { return RegDeleteKeyW(m_hKey, subkey); }

long CRegKey::DeleteTree(const wchar_t* subkey) {
  CRegKey child;
  long result = child.OpenKey(m_hKey, subkey, KEY_ALL_ACCESS);
  if (result != ERROR_SUCCESS) return result;
  for (;;) {
    wchar_t name[256];
    DWORD length = 256;
    result = RegEnumKeyExW(child.m_hKey, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    // Any other enumeration failure would repeat forever at index 0.
    if (result != ERROR_SUCCESS) return result;
    result = child.DeleteTree(name);
    if (result != ERROR_SUCCESS) return result;
  }
  child.Close();
  return RemoveSubKey(subkey);
}

long CRegKey::RemoveValue(std::wstring name) { return RegDeleteValueW(m_hKey, name.c_str()); }

long CRegKey::RemoveValue(const wchar_t* name) { return RegDeleteValueW(m_hKey, name); }

std::vector<std::wstring> CRegKey::ListSubKeys() {
  std::vector<std::wstring> names;
  if (!m_hKey) return names;
  DWORD count = 0, longest = 0;
  if (RegQueryInfoKeyW(m_hKey, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS) {
    return names;
  }
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[longest + 1]);
  for (DWORD i = 0; i < count; ++i) {
    DWORD length = longest + 1;
    if (RegEnumKeyExW(m_hKey, i, buffer.get(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      continue;
    }
    names.emplace_back(buffer.get(), length);
  }
  return names;
}

std::vector<std::wstring> CRegKey::ListValueNames() {
  std::vector<std::wstring> names;
  if (!m_hKey) return names;
  DWORD count = 0, longest = 0;
  if (RegQueryInfoKeyW(m_hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longest, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS) {
    return names;
  }
  std::unique_ptr<wchar_t[]> buffer(new wchar_t[longest + 1]);
  for (DWORD i = 0; i < count; ++i) {
    DWORD length = longest + 1;
    if (RegEnumValueW(m_hKey, i, buffer.get(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      continue;
    }
    names.emplace_back(buffer.get(), length);
  }
  return names;
}

bool CreateKey(HKEY root, const std::wstring& subkey) {
  LogW(5, L"%s: ", L"CreateKey");
  HKEY existing = nullptr;
  if (RegOpenKeyExW(root, (L"Software\\K-Harbor\\" + subkey).c_str(), 0, KEY_ALL_ACCESS, &existing) ==
      ERROR_SUCCESS) {
    RegCloseKey(existing);
    return true;
  }
  HKEY software = nullptr;
  long result = RegOpenKeyExW(root, L"SOFTWARE", 0, KEY_ALL_ACCESS, &software);
  if (result != ERROR_SUCCESS) {
    LogW(3, L"%s: Failed to open SOFTWARE:%s", L"CreateKey", FormatSystemError(result).c_str());
    return false;
  }
  std::wstring path = L"K-Harbor\\" + subkey;
  HKEY created = nullptr;
  result = RegCreateKeyExW(software, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           &created, nullptr);
  if (result != ERROR_SUCCESS) {
    LogW(3, L"%s: Failed to create key under SOFTWARE %s:%s", L"CreateKey", path.c_str(),
         FormatSystemError(result).c_str());
    RegCloseKey(software);
    return false;
  }
  RegCloseKey(created);
  RegCloseKey(software);
  return true;
}

bool getTargetDir(std::wstring& path) {
  LogW(5, L"%s: ", L"getTargetDir");
  CRegKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, kLarkClientKey, KEY_QUERY_VALUE) != ERROR_SUCCESS) {
    LogW(5, L"%s: Failed to open Lark registry key", L"getTargetDir");
    return false;
  }
  if (key.ReadString(path, L"InstallPath") != ERROR_SUCCESS) {
    LogW(5, L"%s: Failed to get previous installation path from registry", L"getTargetDir");
    return false;
  }
  return true;
}

bool ReadLarkRegistry(DWORD* value) {
  LogW(5, L"%s: ", L"ReadLarkRegistry");
  CRegKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, kLarkClientKey, KEY_QUERY_VALUE) != ERROR_SUCCESS) {
    LogW(5, L"%s: Failed to open Lark registry key", L"ReadLarkRegistry");
    return false;
  }
  long result = key.ReadValue(value, kAgentSettingName);
  if (result != ERROR_SUCCESS) {
    LogW(5, L"%s: Failed to read '%s' from registry: %s", L"ReadLarkRegistry", kAgentSettingName,
         FormatSystemError(result).c_str());
    return false;
  }
  LogW(5, L"%s: Successfully read '%s' from registry", L"ReadLarkRegistry", kAgentSettingName);
  return true;
}

bool ReadLateboundRegistry(DWORD* value) {
  LogW(5, L"%s: ", L"ReadLateboundRegistry");
  CRegKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, std::wstring(kLateboundSettingsKey) + kLateboundSettingName, KEY_QUERY_VALUE) !=
      ERROR_SUCCESS) {
    LogW(5, L"%s: Failed to open latebound setting registry key", L"ReadLateboundRegistry");
    return false;
  }
  long result = key.ReadValue(value, L"value");
  if (result != ERROR_SUCCESS) {
    LogW(5, L"%s: Failed to read '%s' from registry: %s", L"ReadLateboundRegistry", kLateboundSettingName,
         FormatSystemError(result).c_str());
    return false;
  }
  LogW(5, L"%s: Successfully read '%s' from registry", L"ReadLateboundRegistry", kLateboundSettingName);
  return true;
}
