#include "download/WinApiWrapper.h"

#include <shlobj.h>

namespace khdownload {

DWORD WinApiWrapper::GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer,
                                              DWORD capacity, LPCWSTR path) {
  return ::GetPrivateProfileStringW(section, key, defaultValue, buffer, capacity, path);
}

BOOL WinApiWrapper::WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR path) {
  return ::WritePrivateProfileStringW(section, key, value, path);
}

int WinApiWrapper::_wstat64i32(const wchar_t* path, struct _stat64i32* info) { return ::_wstat64i32(path, info); }

HRESULT WinApiWrapper::SHGetFolderPathW(HWND window, int csidl, HANDLE token, DWORD flags, LPWSTR path) {
  return ::SHGetFolderPathW(window, csidl, token, flags, path);
}

BOOL WinApiWrapper::CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
  return ::CreateDirectoryW(path, attributes);
}

}  // namespace khdownload
