#include "download/FileInfoHandler.h"

#include <shlobj.h>

#include <cwchar>

#include "platform/SecurityDescriptor.h"

namespace khdownload {

namespace {

const DWORD kNumberCapacity = 50;
const wchar_t kContentLengthKey[] = L"Content-Length";
const wchar_t kSizeDownloadedKey[] = L"SizeDownloaded";
const wchar_t kFileLocationKey[] = L"FileLocation";
const wchar_t kLastModifiedKey[] = L"LastModified";

}  // namespace

bool GetOwnExecutableName(std::wstring& name) {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    name.clear();
    return false;
  }
  std::wstring full(path, length);
  size_t slash = full.find_last_of(L'\\');
  name = slash == std::wstring::npos ? full : full.substr(slash + 1);
  return true;
}

FileInfoHandler::FileInfoHandler() : m_ini(nullptr), m_api(new WinApiWrapper) {}

FileInfoHandler::~FileInfoHandler() {
  delete m_ini;
  delete m_api;
}

bool FileInfoHandler::SetFile(const wchar_t* path) {
  delete m_ini;
  m_ini = new IniHandler;
  if (!path) return false;
  return m_ini->SetPath(path);
}

bool FileInfoHandler::Open() {
  delete m_ini;
  m_ini = new IniHandler;
  std::wstring folder, name;
  if (!GetStoreFolder(folder) || !GetOwnExecutableName(name)) return false;
  std::wstring path = folder + L"\\" + name + L".downloads.ini";
  return m_ini->SetPath(path.c_str());
}

std::wstring FileInfoHandler::CurrentPath() const { return m_ini ? m_ini->Path() : std::wstring(); }

bool FileInfoHandler::GetStoreFolder(std::wstring& folder) {
  wchar_t base[MAX_PATH] = L"";
  if (FAILED(m_api->SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, base))) {
    DWORD length = GetTempPathW(MAX_PATH, base);
    if (length == 0 || length >= MAX_PATH) return false;
  }
  std::wstring path = base;
  // GetTempPathW ends in a separator; do not double it.
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  path += L"\\K-Harbor";
  // The parent is normally made by the log folder; without it every store
  // (and so every resume) would silently fail, e.g. under the temp folder.
  m_api->CreateDirectoryW(path.c_str(), nullptr);

  SecurityDescriptorHolder descriptor;
  AdminCheck admin;
  bool built;
  if (admin.IsAdmin()) {
    path += L"\\KHDownloadProtected";
    built = descriptor.SetRestrictedAccess();
  } else {
    path += L"\\KHDownload";
    built = descriptor.SetEveryoneFullAccess();
  }
  bool ok = true;
  if (!m_api->CreateDirectoryW(path.c_str(), built ? descriptor.Attributes() : nullptr)) {
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      if (built) descriptor.ApplyToFile(path.c_str());
    } else {
      ok = false;
    }
  }
  descriptor.Free();
  if (ok) folder = path;
  return ok;
}

bool FileInfoHandler::ReadValue(const wchar_t* key, const wchar_t* section, wchar_t* buffer, DWORD capacity) {
  if (!buffer || capacity == 0) return false;
  wmemset(buffer, L'\0', capacity);
  if (!m_ini) return false;
  return m_ini->Read(section, key, buffer, capacity);
}

bool FileInfoHandler::WriteValue(const wchar_t* key, const wchar_t* section, const wchar_t* value) {
  if (!m_ini) return false;
  return m_ini->Write(section, key, value);
}

bool FileInfoHandler::ParseNumber(const wchar_t* text, DWORD& value) {
  if (!text) {
    value = 0;
    return false;
  }
  unsigned long parsed = wcstoul(text, nullptr, 10);
  value = static_cast<DWORD>(parsed);
  return value != 0xFFFFFFFFu;
}

bool FileInfoHandler::FormatNumber(DWORD value, wchar_t* buffer, DWORD capacity) {
  wchar_t digits[16];
  int n = 0;
  do {
    digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (!buffer || capacity < static_cast<DWORD>(n) + 1) return false;
  for (int i = 0; i < n; ++i) buffer[i] = digits[n - 1 - i];
  buffer[n] = L'\0';
  return true;
}

bool FileInfoHandler::ReadNumber(const wchar_t* key, const wchar_t* url, DWORD& value) {
  wchar_t text[kNumberCapacity];
  if (!ReadValue(key, url, text, kNumberCapacity) || !ParseNumber(text, value)) {
    value = 0;
    return false;
  }
  return true;
}

bool FileInfoHandler::WriteNumber(const wchar_t* key, const wchar_t* url, DWORD value) {
  wchar_t text[kNumberCapacity];
  return FormatNumber(value, text, kNumberCapacity) && WriteValue(key, url, text);
}

bool FileInfoHandler::ReadContentLength(const wchar_t* url, DWORD& value) {
  return ReadNumber(kContentLengthKey, url, value);
}

bool FileInfoHandler::WriteContentLength(const wchar_t* url, DWORD value) {
  return WriteNumber(kContentLengthKey, url, value);
}

bool FileInfoHandler::ReadSizeDownloaded(const wchar_t* url, DWORD& value) {
  return ReadNumber(kSizeDownloadedKey, url, value);
}

bool FileInfoHandler::WriteSizeDownloaded(const wchar_t* url, DWORD value) {
  return WriteNumber(kSizeDownloadedKey, url, value);
}

bool FileInfoHandler::ReadLastModified(const wchar_t* url, wchar_t* buffer, DWORD capacity) {
  return ReadValue(kLastModifiedKey, url, buffer, capacity);
}

bool FileInfoHandler::WriteLastModified(const wchar_t* url, const wchar_t* text) {
  return WriteValue(kLastModifiedKey, url, text);
}

bool FileInfoHandler::ReadFileLocation(const wchar_t* url, wchar_t* buffer, DWORD capacity) {
  return ReadValue(kFileLocationKey, url, buffer, capacity);
}

bool FileInfoHandler::WriteFileLocation(const wchar_t* url, const wchar_t* text) {
  return WriteValue(kFileLocationKey, url, text);
}

}  // namespace khdownload
