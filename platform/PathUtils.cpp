// Paths, working folders, error texts, console output and string helpers.
#include "platform/PathUtils.h"

#include <windows.h>
#include <shlobj.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <wctype.h>

#include <stdexcept>

#include "logging/Log.h"
#include "platform/SecurityDescriptor.h"

namespace {

const size_t kPathChars = MAX_PATH;  // terminator included
const UINT kTempNumbers = 0xFFFF;    // 1..0xFFFF for GetTempFileNameW's names

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDirectory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void ApplyAccessList(const SecurityDescriptorHolder& holder, const std::wstring& path) {
  // A folder whose list cannot be changed is still usable; the caller goes on.
  if (!holder.IsEmpty()) holder.ApplyToFile(path.c_str());
}

}  // namespace

std::wstring FormatSystemError(unsigned long code) {
  wchar_t buffer[1024];
  int prefix = _snwprintf(buffer, 1024, L"[%lu] ", code);
  if (prefix < 0) prefix = 0;
  buffer[prefix] = L'\0';
  DWORD written = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer + prefix,
                                 1024 - prefix, nullptr);
  size_t length = prefix + (written < static_cast<DWORD>(1024 - prefix) ? written : 0);
  buffer[length] = L'\0';
  if (length > static_cast<size_t>(prefix) && buffer[length - 1] == L'\n') buffer[--length] = L'\0';
  return std::wstring(buffer, length);
}

std::wstring FormatLastError() { return FormatSystemError(GetLastError()); }

int ConsolePrintf(const wchar_t* format, ...) {
  wchar_t buffer[1024];
  va_list args;
  va_start(args, format);
  // msvcrt's _vsnwprintf neither terminates nor reports the length of a cut
  // text, so terminate by hand and measure.
  _vsnwprintf(buffer, 1023, format, args);
  va_end(args);
  buffer[1023] = L'\0';
  DWORD length = static_cast<DWORD>(wcslen(buffer));

  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (WriteConsoleW(out, buffer, length, &written, nullptr)) return 1;

  // No console, or the output goes to a pipe or file: give it the same text.
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return 0;
  if (length == 0) return 1;
  int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return 0;
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), &utf8[0], bytes, nullptr, nullptr);
  return WriteFile(out, utf8.data(), static_cast<DWORD>(bytes), &written, nullptr) ? 1 : 0;
}

// The composition and split rules are those of the runtime's _wmakepath_s
// and _wsplitpath_s (which keep their names in the failure texts); they are
// done here because the msvcrt.dll of Windows XP exports neither.
std::wstring MakePath(const std::wstring& directory, const std::wstring& name) {
  // Like the runtime, each part ends at its first null character.
  std::wstring result = directory.c_str();
  if (!result.empty() && !IsSeparator(result.back())) result += L'\\';
  result += name.c_str();
  if (result.size() + 1 > kPathChars) {
    throw std::runtime_error("_wmakepath_s failed");
  }
  return result;
}

void SplitPath(const std::wstring& fullPath, std::wstring& directory, std::wstring& file) {
  const std::wstring path = fullPath.c_str();
  // Buffer sizes of the split, terminator included.
  const size_t kDrive = 3, kPart = 256;
  size_t driveLength = (path.size() >= 2 && path[1] == L':') ? 2 : 0;
  size_t lastSeparator = path.find_last_of(L"\\/");
  size_t dirEnd = (lastSeparator == std::wstring::npos || lastSeparator < driveLength) ? driveLength : lastSeparator + 1;
  size_t dot = path.find_last_of(L'.');
  size_t extStart = (dot == std::wstring::npos || dot < dirEnd) ? path.size() : dot;
  if (driveLength + 1 > kDrive || dirEnd - driveLength + 1 > kPart || extStart - dirEnd + 1 > kPart ||
      path.size() - extStart + 1 > kPart) {
    throw std::runtime_error("_wsplitpath_s failed");
  }
  directory = path.substr(0, dirEnd);
  if (!directory.empty() && directory.back() == L'\\') directory.pop_back();
  file = path.substr(dirEnd);
}

std::wstring GetFullPath(const std::wstring& path) {
  wchar_t buffer[kPathChars];
  if (_wfullpath(buffer, path.c_str(), kPathChars) == nullptr) {
    throw std::runtime_error("_wfullpath failed");
  }
  return buffer;
}

std::wstring GetFolderPath(int csidl) {
  wchar_t buffer[kPathChars];
  HRESULT hr = SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
  if (FAILED(hr)) {
    throw std::runtime_error("SHGetFolderPathW(" + std::to_string(csidl) +
                             ") failed. LastError = " + std::to_string(GetLastError()));
  }
  return buffer;
}

bool IsAbsolutePath(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
    const wchar_t drive = path[0];
    return (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
  }
  return path.size() > 2 && path[0] == L'\\' && path[1] == L'\\';
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring QuotePath(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring QuoteString(const std::wstring& text) { return QuotePath(text); }

bool MkDirPathSafe(const std::wstring& path) {
  if (IsDirectory(path)) return true;
  size_t separator = path.rfind(L'\\');
  if (separator == std::wstring::npos) {
    LogW(3, L"%s: path = %s", L"MkDirPathSafe", path.c_str());
    return false;
  }
  if (!MkDirPathSafe(path.substr(0, separator))) return false;
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  DWORD error = GetLastError();
  LogW(3, L"%s: path = %s, error = %d", L"MkDirPathSafe", path.c_str(), static_cast<int>(error));
  return false;
}

bool RmDirRecursiveSafe(const std::wstring& path) {
  LogW(5, L"%s: ", L"RmDirRecursiveSafe");
  if (path.empty()) {
    LogW(3, L"%s: Empty parameter fullpath", L"RmDirRecursiveSafe");
    return false;
  }
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    LogW(3, L"%s: Invalid directory, path = %s, error = %d", L"RmDirRecursiveSafe", path.c_str(),
         static_cast<int>(error));
    return false;
  }
  do {
    std::wstring full = path + L"\\" + entry.cFileName;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      if (!DeleteFileW(full.c_str())) {
        DWORD error = GetLastError();
        LogW(3, L"%s: Unable to delete file, path = %s, file = %s, error = %d", L"RmDirRecursiveSafe",
             path.c_str(), full.c_str(), static_cast<int>(error));
        FindClose(search);
        return false;
      }
    } else if (entry.cFileName[0] == L'.') {
      // Skips "." and ".." and, with them, every other dot-named folder.
    } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A junction or folder link: remove the link itself, never what it
      // points to outside the tree.
      if (!RemoveDirectoryW(full.c_str())) {
        DWORD error = GetLastError();
        LogW(3, L"%s: Failed to remove directory, path = %s, error = %d", L"RmDirRecursiveSafe",
             full.c_str(), static_cast<int>(error));
        FindClose(search);
        return false;
      }
    } else if (!RmDirRecursiveSafe(full)) {
      FindClose(search);
      return false;
    }
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  if (RemoveDirectoryW(path.c_str())) return true;
  DWORD error = GetLastError();
  LogW(3, L"%s: Failed to remove directory, path = %s, error = %d", L"RmDirRecursiveSafe", path.c_str(),
       static_cast<int>(error));
  return false;
}

std::wstring GetApplicationDataDirectory() {
  LogW(5, L"%s: ", L"GetApplicationDataDirectory");
  wchar_t buffer[kPathChars];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    LogW(1, L"%s: Failed to get common appdata path", L"GetApplicationDataDirectory");
    throw std::runtime_error("failed to get common appdata path");
  }
  return buffer;
}

std::wstring CreateTempDirectory(const wchar_t* prefix) {
  LogW(5, L"%s: ", L"CreateTempDirectory");
  wchar_t tempPath[kPathChars];
  DWORD length = GetTempPathW(kPathChars, tempPath);
  if (length == 0 || length >= kPathChars) {
    LogW(1, L"%s: Failed to get temp dir", L"CreateTempDirectory");
    throw std::runtime_error("failed to get temp path");
  }
  // The temporary folder itself (and its parents) may be missing.
  std::wstring parent(tempPath, length);
  while (parent.size() > 3 && IsSeparator(parent.back())) parent.pop_back();
  if (!MkDirPathSafe(parent)) throw std::runtime_error("failed to create directory");
  // A non-zero unique number makes GetTempFileNameW only compose the name.
  // Its low 16 bits are what the name shows; zero would make the call
  // create a file instead, so the numbers run from 1 to 0xFFFF.
  UINT start = GetTickCount() & 0xFFFF;
  if (start == 0) start = 1;
  for (UINT tried = 0; tried < kTempNumbers; ++tried) {
    const UINT unique = (start - 1 + tried) % kTempNumbers + 1;
    wchar_t name[kPathChars];
    if (GetTempFileNameW(tempPath, prefix ? prefix : L"", unique, name) == 0) {
      LogW(1, L"%s: Failed to get temp file", L"CreateTempDirectory");
      throw std::runtime_error("failed to get temp file");
    }
    // Only a folder this call made is returned: anyone can put a folder
    // (with a library in it) or a file under a name in the user's temp
    // folder beforehand, and the caller runs programs from what it gets.
    if (CreateDirectoryW(name, nullptr)) return name;
    const DWORD error = GetLastError();
    // Access denied is what a name pending deletion gives.
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) continue;
    LogW(1, L"%s: Failed to create %s, error = %d", L"CreateTempDirectory", name, static_cast<int>(error));
    throw std::runtime_error("failed to create directory");
  }
  LogW(1, L"%s: Every name is taken", L"CreateTempDirectory");
  throw std::runtime_error("failed to create directory");
}

std::wstring CreateSecureTempDirectory(const wchar_t* prefix) {
  LogW(5, L"%s: ", L"CreateSecureTempDirectory");
  std::wstring path = CreateTempDirectory(prefix);
  if (!FileSecurity(path.c_str())) {
    LogW(1, L"%s: Failed to secure temp dir", L"CreateSecureTempDirectory");
    throw std::runtime_error("failed to secure temp dir");
  }
  return path;
}

std::wstring CreateDownloadDirectory() {
  SecurityDescriptorHolder holder;
  if (IsAdministratorsMember()) {
    holder.SetRestrictedAccess();
  } else {
    holder.SetEveryoneFullAccess();
  }
  try {
    std::wstring parent = MakePath(GetFolderPath(CSIDL_COMMON_APPDATA), L"K-Harbor\\Lark");
    if (!MkDirPathSafe(parent)) throw std::runtime_error("failed to create directory");
    ApplyAccessList(holder, parent);
    std::wstring downloads = MakePath(GetFolderPath(CSIDL_COMMON_APPDATA), L"K-Harbor\\Lark\\Downloads");
    if (!MkDirPathSafe(downloads)) throw std::runtime_error("failed to create directory");
    ApplyAccessList(holder, downloads);
    holder.Free();
    return downloads;
  } catch (...) {
    holder.Free();
    throw;
  }
}

std::wstring ReplaceFirst(const std::wstring& what, const std::wstring& text, const std::wstring& replacement) {
  std::wstring result = text;
  size_t position = result.find(what);
  if (position != std::wstring::npos) result.replace(position, what.size(), replacement);
  return result;
}

std::vector<std::wstring> SplitByComma(const std::wstring& text) {
  std::vector<std::wstring> pieces;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(L',', start);
    if (comma == std::wstring::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
}

std::wstring JoinWithSpaces(const std::vector<std::wstring>& items) {
  std::wstring result;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) result += L' ';
    result += items[i];
  }
  return result;
}

void ToLowerInPlace(std::wstring& text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
}
