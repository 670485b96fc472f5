// Machine-wide state that the new-operator and data-centre tests set up
// and take down again: values under HKLM keys and the agent's package
// cache of operator 666 under the common application data folder.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/PathUtils.h"
#include "platform/RegKey.h"
#include "testsupport/TestEnv.h"

namespace operatortest {

const wchar_t kSegmentationsKey[] = L"SOFTWARE\\K-Harbor\\BCX\\KHZUP\\Segmentations";

inline bool KeyExists(const wchar_t* path) {
  CRegKey key;
  return key.OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ) == ERROR_SUCCESS;
}

// Values written under one HKLM key for one test; the values are removed
// afterwards, and the key too when the test created it.
class ScopedKey {
 public:
  explicit ScopedKey(const wchar_t* path) : m_path(path), m_existed(KeyExists(path)) {
    m_key.CreateSubKey(HKEY_LOCAL_MACHINE, path, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr);
  }
  ~ScopedKey() {
    for (const std::wstring& name : m_written) m_key.RemoveValue(name);
    m_key.Close();
    if (!m_existed) RegDeleteKeyW(HKEY_LOCAL_MACHINE, m_path.c_str());
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  void SetDword(const wchar_t* name, DWORD value) {
    m_key.WriteDword(value, name);
    m_written.push_back(name);
  }
  void SetString(const wchar_t* name, const wchar_t* value) {
    m_key.WriteString(value, name);
    m_written.push_back(name);
  }
  // Removes a value now and again afterwards (a value the code under test
  // writes).
  void Clear(const wchar_t* name) {
    m_key.RemoveValue(name);
    m_written.push_back(name);
  }

 private:
  std::wstring m_path;
  bool m_existed;
  std::vector<std::wstring> m_written;
  CRegKey m_key;
};

inline std::wstring TwyxFolder() { return MakePath(GetFolderPath(CSIDL_COMMON_APPDATA), L"K-Harbor\\TWYX"); }
inline std::wstring CacheFolder() { return TwyxFolder() + L"\\666"; }
inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The agent's package cache of operator 666, created for one test and
// removed with its folders afterwards.
class CacheFile {
 public:
  CacheFile()
      : m_path(CacheFolder() + L"\\packages"), m_hadTwyx(Exists(TwyxFolder())), m_hadCache(Exists(CacheFolder())) {}
  ~CacheFile() {
    DeleteFileW(m_path.c_str());
    if (!m_hadTwyx) {
      larktest::RemoveTree(TwyxFolder());
    } else if (!m_hadCache) {
      larktest::RemoveTree(CacheFolder());
    }
  }
  CacheFile(const CacheFile&) = delete;
  CacheFile& operator=(const CacheFile&) = delete;

  // Writes content and dates the file back a day, so a rewrite shows.
  void Write(const std::string& content) {
    MkDirPathSafe(CacheFolder());
    ASSERT_TRUE(larktest::WriteFileBytes(m_path, content));
    HANDLE file = CreateFileW(m_path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    t.QuadPart -= 864000000000ULL;
    m_written.dwLowDateTime = t.LowPart;
    m_written.dwHighDateTime = t.HighPart;
    SetFileTime(file, nullptr, nullptr, &m_written);
    CloseHandle(file);
  }
  std::string Read() const {
    std::string bytes;
    larktest::ReadFileBytes(m_path, bytes);
    return bytes;
  }
  bool Rewritten() const {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data)) return true;
    return CompareFileTime(&data.ftLastWriteTime, &m_written) != 0;
  }
  const std::wstring& Path() const { return m_path; }

 private:
  std::wstring m_path;
  bool m_hadTwyx;
  bool m_hadCache;
  FILETIME m_written = {};
};

}  // namespace operatortest
