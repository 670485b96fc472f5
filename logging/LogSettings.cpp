#include "logging/LogSettings.h"

#include <wchar.h>

#include "logging/LogFormat.h"

namespace KhBcxLogging {

namespace {

const wchar_t kLoggingKey[] = L"SOFTWARE\\K-Harbor\\BCX\\Logging";

// True when the key has the value; a value that is not 4 bytes long can't be
// read into the buffer and counts as absent.
bool QueryDword(const wchar_t* keyPath, const wchar_t* valueName, DWORD& value) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD data = 0;
  DWORD size = sizeof(data);
  LONG result = RegQueryValueExW(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || size != sizeof(data)) {
    return false;
  }
  value = data;
  return true;
}

}  // namespace

DWORD ReadLoggingSetting(const wchar_t* product, const wchar_t* logName, const wchar_t* valueName,
                         DWORD defaultValue) {
  wchar_t keyPath[1024];
  DWORD value = 0;
  if (product && logName &&
      FormatW(keyPath, _countof(keyPath), L"%s\\%s\\%s", kLoggingKey, product, logName) > 0 &&
      QueryDword(keyPath, valueName, value) && value != 0xFFFFFFFF) {
    return value;
  }
  if (product && FormatW(keyPath, _countof(keyPath), L"%s\\%s", kLoggingKey, product) > 0 &&
      QueryDword(keyPath, valueName, value) && value != 0xFFFFFFFF) {
    return value;
  }
  if (QueryDword(kLoggingKey, valueName, value)) {
    return value;
  }
  return defaultValue;
}

int BuildLogFilePath(const wchar_t* product, wchar_t* buffer, const wchar_t* logName) {
  buffer[0] = L'\0';
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                    KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD type = 0;
  // One character short of the buffer so that a value stored without its
  // terminating null still ends in one.
  DWORD size = (kLogPathCapacity - 1) * sizeof(wchar_t);
  LONG result = RegQueryValueExW(key, L"Common AppData", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(wchar_t)) {
    buffer[0] = L'\0';
    return 0;
  }
  buffer[size / sizeof(wchar_t)] = L'\0';
  size_t length = wcslen(buffer);
  if (length == 0) {
    return 0;
  }
  int appended = FormatW(buffer + length, kLogPathCapacity - length, L"\\%s\\%s\\%s\\%s.%s",
                              L"K-Harbor", L"logs", product ? product : L"misc", logName ? logName : L"", L"log");
  if (appended < 0) {
    buffer[0] = L'\0';
    return 0;
  }
  return static_cast<int>(length) + appended;
}

}  // namespace KhBcxLogging
