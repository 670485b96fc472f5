#include "platform/Proxy.h"

#include <string>
#include <vector>

#include "logging/Log.h"
#include "platform/PathUtils.h"
#include "platform/RegKey.h"

namespace {
const wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t kName[] = L"RestoreProxy";

// The first enabled, non-empty proxy server of the profiles under users.
bool FindUserProxy(HKEY users, std::wstring& server) {
  CRegKey root;
  if (root.OpenKey(users, L"", KEY_READ) != ERROR_SUCCESS) {
    LogW(5, L"%s: Failed to open HKEY_USERS", kName);
    return false;
  }
  std::vector<std::wstring> profiles = root.ListSubKeys();
  if (profiles.empty()) {
    LogW(5, L"%s: No subkeys found under HKEY_USERS", kName);
    return false;
  }
  LogW(5, L"%s: Found %d subkeys under HKEY_USERS", kName, static_cast<int>(profiles.size()));
  for (size_t i = 0; i < profiles.size(); ++i) {
    LogW(5, L"%s: Checking %d %s", kName, static_cast<int>(i), profiles[i].c_str());
    const std::wstring path = profiles[i] + L"\\" + kInternetSettings;
    CRegKey key;
    long result = key.OpenKey(root.Handle(), path, KEY_READ);
    if (result != ERROR_SUCCESS) {
      LogW(5, L"%s: Failed to open %s:%s", kName, path.c_str(), FormatSystemError(result).c_str());
      continue;
    }
    LogW(5, L"%s: Opened %s", kName, path.c_str());
    DWORD enabled = 0;
    if (key.ReadValue(&enabled, L"ProxyEnable") != ERROR_SUCCESS) {
      LogW(5, L"%s: No ProxyEnable value found", kName);
      continue;
    }
    if (enabled == 0) {
      LogW(5, L"%s: No proxy was enabled", kName);
      continue;
    }
    LogW(5, L"%s: Proxy was enabled", kName);
    std::wstring found;
    if (key.ReadString(found, L"ProxyServer") != ERROR_SUCCESS) {
      LogW(5, L"%s: No ProxyServer value found", kName);
      continue;
    }
    if (found.empty()) {
      LogW(5, L"%s: Proxy server was empty", kName);
      continue;
    }
    server = found;
    LogW(5, L"%s: Found proxy server %s", kName, server.c_str());
    return true;
  }
  return false;
}
}  // namespace

void RestoreProxy() { RestoreProxy(HKEY_USERS, HKEY_CURRENT_USER); }

void RestoreProxy(HKEY users, HKEY currentUser) {
  LogW(5, L"%s: ", kName);
  std::wstring server;
  if (!FindUserProxy(users, server)) {
    LogW(5, L"%s: No proxy server found", kName);
    return;
  }
  LogW(5, L"%s: Creating proxy settings for me", kName);
  CRegKey mine;
  if (mine.OpenKey(currentUser, kInternetSettings, KEY_ALL_ACCESS) != ERROR_SUCCESS) {
    LogW(5, L"%s: Failed to open my Internet Settings", kName);
    return;
  }
  DWORD enabled = 0;
  if (mine.ReadValue(&enabled, L"ProxyEnable") != ERROR_SUCCESS) enabled = 0;
  if (enabled == 1) {
    LogW(5, L"%s: My proxy is enabled", kName);
    std::wstring own;
    if (mine.ReadString(own, L"ProxyServer") != ERROR_SUCCESS) {
      LogW(5, L"%s: I have no proxy server defined", kName);
    } else if (!own.empty()) {
      LogW(5, L"%s: I already have proxy server %s", kName, own.c_str());
      return;
    }
    long result = mine.WriteString(server, L"ProxyServer");
    if (result == ERROR_SUCCESS) {
      LogW(5, L"%s: Succesfully added proxy %s", kName, server.c_str());
    } else {
      LogW(5, L"%s: Failed to set proxy server to %s:%s", kName, server.c_str(), FormatSystemError(result).c_str());
    }
    return;
  }
  long result = mine.WriteString(server, L"ProxyServer");
  if (result != ERROR_SUCCESS) {
    LogW(5, L"%s: Failed to set proxy server to %s:%s", kName, server.c_str(), FormatSystemError(result).c_str());
    return;
  }
  LogW(5, L"%s: Set proxy server to %s", kName, server.c_str());
  result = mine.WriteDword(static_cast<DWORD>(1), L"ProxyEnable");
  if (result == ERROR_SUCCESS) {
    LogW(5, L"%s: Set proxy enabled", kName);
  } else {
    LogW(5, L"%s: Failed to set proxy enabled:%s", kName, FormatSystemError(result).c_str());
  }
}
