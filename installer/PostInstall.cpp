#include "installer/PostInstall.h"

#include <ctime>
#include <exception>

#include "installer/StubProgram.h"
#include "logging/Log.h"
#include "platform/PathUtils.h"
#include "platform/ProcessLaunch.h"
#include "platform/RegKey.h"
#include "settings/LarkProperties.h"

namespace {

const wchar_t kAgentKey[] = L"SOFTWARE\\K-Harbor\\Lark Client";
const wchar_t kOperatorsKey[] = L"SOFTWARE\\K-Harbor\\Lark Client\\Operators";

}  // namespace

std::wstring GetInstallPath() {
  const wchar_t* const self = L"GetInstallPath";
  std::wstring path;
  CRegKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, kAgentKey, KEY_QUERY_VALUE) != ERROR_SUCCESS) {
    LogW(5, L"%s: Lark installation path not found.", self);
  } else {
    key.ReadString(path, L"InstallPath");
    key.Close();
    LogW(5, L"%s: Lark installation path found '%s'.", self, path.c_str());
  }
  if (path.empty()) LogW(5, L"%s: Lark installation path is empty.", self);
  return path;
}

void LoadInstallerPostRunner() {
  std::wstring path = GetInstallPath();
  if (path.empty()) return;
  if (path.back() != L'\\') path += L'\\';
  path += L"kh_installer_runner.exe";
  std::wstring parameters = L"--operator-id " + LarkProperties::Instance()->GetSetting(L"PartnerID");
  LogW(5, L"%s: Starting kh_installer_runner '%s' with parameters '%s'.", L"LoadInstallerPostRunner",
       path.c_str(), parameters.c_str());
  RunProgramHidden(path, parameters);
}

bool RunUIHosters() {
  const wchar_t* const self = L"RunUIHosters";
  std::wstring path;
  try {
    // No installation folder gives no program: a bare name would be looked
    // for in the current folder.
    const std::wstring folder = GetInstallPath();
    if (!folder.empty()) path = MakePath(folder, L"khhoster32.exe");
  } catch (const std::exception& e) {
    // An installation folder too long for a program path: the installation
    // itself has succeeded, so this ends like a program that cannot start.
    LogW(2, L"%s: No program path in the installation folder: %S", self, e.what());
  }
  if (path.empty() || StubProgram::LaunchProcess(path, L"-startuihosters") == 0) {
    LogW(2, L"%s: Failed to start UI hosters", self);
    return false;
  }
  return true;
}

RegistryValueSetter g_setRegistryValue = &RegSetValueExW;

bool StoreValue(const std::wstring& value, const std::wstring& subkey, const std::wstring& valueName, HKEY root) {
  const wchar_t* const self = L"StoreValue";
  if (!CreateKey(root, subkey)) return false;
  std::wstring keyPath = L"SOFTWARE\\K-Harbor\\" + subkey;
  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (status != ERROR_SUCCESS) {
    // The registry functions return their error instead of setting it.
    LogW(3, L"%s: Failed to open registry key %s:%s", self, keyPath.c_str(),
         FormatSystemError(static_cast<unsigned long>(status)).c_str());
    return false;
  }
  status = g_setRegistryValue(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) {
    LogW(3, L"%s: Failed %s:%s", self, valueName.c_str(),
         FormatSystemError(static_cast<unsigned long>(status)).c_str());
    return false;
  }
  LogW(4, L"%s: OK %s", self, valueName.c_str());
  return true;
}

bool StorePackageOrigin(const std::wstring& packageName, const std::wstring& address, const std::wstring& filePath,
                        const std::wstring& timeStamp) {
  const std::wstring prefix = L"Stub_" + packageName;
  const std::wstring subkey = L"Lark Client";
  return StoreValue(address, subkey, prefix + L"_url", HKEY_LOCAL_MACHINE) &&
         StoreValue(filePath, subkey, prefix + L"_file", HKEY_LOCAL_MACHINE) &&
         StoreValue(timeStamp, subkey, prefix + L"_timestamp", HKEY_LOCAL_MACHINE);
}

std::wstring GetLocalTimeStamp() {
  wchar_t buffer[79] = L"";
  time_t now = time(nullptr);
  struct tm local = {};
  if (localtime_s(&local, &now) != 0) return std::wstring();
  wcsftime(buffer, 79, L"%Y-%m-%dT%H:%M:%S", &local);
  return buffer;
}

bool RecordPackageOrigins(std::wstring customizationsAddress, std::wstring customizationsFile,
                          std::wstring localizationsAddress, std::wstring localizationsFile, std::wstring helpAddress,
                          std::wstring helpFile, std::wstring settingsAddress, std::wstring settingsFile) {
  const std::wstring stamp = GetLocalTimeStamp();
  StorePackageOrigin(L"customizations", customizationsAddress, customizationsFile, stamp);
  StorePackageOrigin(L"localizations", localizationsAddress, localizationsFile, stamp);
  StorePackageOrigin(L"help", helpAddress, helpFile, stamp);
  StorePackageOrigin(L"settings", settingsAddress, settingsFile, stamp);
  return true;
}

bool GetInstalledOperators(std::vector<std::wstring>& operators) {
  CRegKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, kOperatorsKey, KEY_READ) != ERROR_SUCCESS) return false;
  operators = key.ListValueNames();
  return true;
}
