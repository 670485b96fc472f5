#include "logging/FileUtils.h"

#include <sys/stat.h>
#include <wchar.h>

#include <string>

namespace KhBcxLogging {

bool FileUtilsWin32::FileExists(const wchar_t* path) {
  struct _stat64i32 info;
  return _wstat64i32(path, &info) == 0 && (info.st_mode & _S_IFREG) != 0;
}

bool FileUtilsWin32::DeleteFile(const wchar_t* path) {
  if (::DeleteFileW(path)) {
    return true;
  }
  return MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

bool FileUtilsWin32::MoveFile(const wchar_t* from, const wchar_t* to) {
  return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool FileUtilsWin32::CreateDirectoryRecursive(const wchar_t* path, SECURITY_ATTRIBUTES* attributes) {
  if (DirectoryExists(path)) {
    return true;
  }
  const wchar_t* lastSlash = wcsrchr(path, L'\\');
  if (lastSlash && lastSlash != path) {
    std::wstring parent(path, static_cast<size_t>(lastSlash - path));
    if (!CreateDirectoryRecursive(parent.c_str(), attributes)) {
      return false;
    }
  }
  // Another process may create the same folder at the same moment.
  return CreateDirectoryW(path, attributes) != FALSE || DirectoryExists(path);
}

bool FileUtilsWin32::DirectoryExists(const wchar_t* path) {
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace KhBcxLogging
