#include "hosts/HostsPath.h"

#include <windows.h>

#include <vector>

#include "logging/Log.h"
#include "platform/NamedObjects.h"
#include "platform/RegKey.h"

namespace khhosts {

namespace {

const wchar_t kParametersKey[] = L"System\\CurrentControlSet\\Services\\Tcpip\\Parameters";
const wchar_t kDataBasePathValue[] = L"DataBasePath";

bool ExpandEnvironment(const std::wstring& text, std::wstring& expanded) {
  DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (needed == 0) return false;
  std::vector<wchar_t> buffer(needed + 1);
  DWORD got = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
  if (got == 0 || got > buffer.size()) return false;
  expanded.assign(buffer.data());
  return true;
}

}  // namespace

HostsPath::HostsPath() {
  if (!filePathFromRegistry(m_directory)) defaultFilePath(m_directory);
}

std::wstring HostsPath::hostsFile() const { return m_directory + kHostsFileName; }

std::wstring HostsPath::backupFile() const { return m_directory + kHostsBackupFileName; }

bool HostsPath::filePathFromRegistry(std::wstring& path) {
  const wchar_t* name = L"HostsPath::filePathFromRegistry";
  LogW(5, L"%s: ", name);
  // Read at any length: a long value is as valid as a short one, and a
  // cut-off fallback would check a different file than the resolver reads.
  CRegKey key;
  std::wstring value, expanded;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, kParametersKey, KEY_QUERY_VALUE) == ERROR_SUCCESS) {
    LogW(5, L"%s: Opened registry key %s", name, kParametersKey);
    if (key.ReadString(value, kDataBasePathValue) == ERROR_SUCCESS) {
      LogW(5, L"%s: RegQueryValueEx succeed", name);
      key.Close();
      // An empty folder would put the hosts file at the root of the
      // current drive; treat it as no value.
      if (ExpandEnvironment(value, expanded) && !expanded.empty()) {
        path = expanded;
        return true;
      }
    }
  }
  LogW(2, L"%s: Failed to get hosts file path from registry!", name);
  return false;
}

void HostsPath::defaultFilePath(std::wstring& path) {
  const wchar_t* name = L"HostsPath::defaultFilePath";
  wchar_t buffer[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"SystemRoot", buffer, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    path = std::wstring(buffer, n) + L"\\system32\\drivers\\etc\\";
  } else {
    // Without SystemRoot an empty folder would mean "\hosts" on the current
    // drive; the system folder is where the variable would have led.
    n = GetSystemDirectoryW(buffer, MAX_PATH);
    path = n > 0 && n < MAX_PATH ? std::wstring(buffer, n) + L"\\drivers\\etc\\" : std::wstring();
  }
  LogW(5, L"%s: Returned %s", name, path.c_str());
}

}  // namespace khhosts
