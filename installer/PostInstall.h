// The installed agent's programs that the installer starts after an
// installation, the installed operators, and the registry records of where
// each downloaded package came from.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The agent's "InstallPath", or empty.
std::wstring GetInstallPath();
// Starts the agent's post-installation runner for this operator.
void LoadInstallerPostRunner();
// Starts the agent's user-interface hosters; true when started. A folder
// too long for the program's path is logged and gives false.
bool RunUIHosters();
// The value write of StoreValue: RegSetValueExW in the product. Only a test
// sets a stand-in here, to make a chosen write fail.
typedef LONG(WINAPI* RegistryValueSetter)(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data,
                                          DWORD size);
extern RegistryValueSetter g_setRegistryValue;
bool StoreValue(const std::wstring& value, const std::wstring& subkey, const std::wstring& valueName,
                HKEY root);
bool StorePackageOrigin(const std::wstring& packageName, const std::wstring& address,
                        const std::wstring& filePath, const std::wstring& timeStamp);
std::wstring GetLocalTimeStamp();
bool RecordPackageOrigins(std::wstring customizationsAddress, std::wstring customizationsFile,
                          std::wstring localizationsAddress, std::wstring localizationsFile,
                          std::wstring helpAddress, std::wstring helpFile,
                          std::wstring settingsAddress, std::wstring settingsFile);
bool GetInstalledOperators(std::vector<std::wstring>& operators);
