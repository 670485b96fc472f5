// Forwards the few platform calls of the resume file, so that tests can
// stand in for them.
#pragma once

#include <windows.h>
#include <sys/stat.h>

namespace khdownload {

class WinApiWrapper {
 public:
  virtual ~WinApiWrapper() {}
  virtual DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer,
                                         DWORD capacity, LPCWSTR path);
  virtual BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR path);
  virtual int _wstat64i32(const wchar_t* path, struct _stat64i32* info);
  virtual HRESULT SHGetFolderPathW(HWND window, int csidl, HANDLE token, DWORD flags, LPWSTR path);
  virtual BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes);
};

}  // namespace khdownload
