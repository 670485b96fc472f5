// The resume-information store: one profile file per program in a folder of
// its own under the all-users application data, with one section per URL
// holding "Content-Length", "SizeDownloaded", "FileLocation" and
// "LastModified". Nothing here logs or throws; every failure is a false
// result, and a store that cannot be opened simply remembers nothing.
#pragma once

#include <string>

#include "download/IniHandler.h"

namespace khdownload {

class FileInfoHandler {
 public:
  FileInfoHandler();
  virtual ~FileInfoHandler();
  FileInfoHandler(const FileInfoHandler&) = delete;
  FileInfoHandler& operator=(const FileInfoHandler&) = delete;

  // Uses the given file instead of the program's own store.
  virtual bool SetFile(const wchar_t* path);
  // Prepares the store folder (creating it, or re-applying its access list)
  // and points at <folder>\<program file name>.downloads.ini.
  virtual bool Open();
  virtual bool ReadContentLength(const wchar_t* url, DWORD& value);
  virtual bool WriteContentLength(const wchar_t* url, DWORD value);
  virtual bool ReadSizeDownloaded(const wchar_t* url, DWORD& value);
  virtual bool WriteSizeDownloaded(const wchar_t* url, DWORD value);
  virtual bool ReadLastModified(const wchar_t* url, wchar_t* buffer, DWORD capacity);
  virtual bool WriteLastModified(const wchar_t* url, const wchar_t* text);
  virtual bool ReadFileLocation(const wchar_t* url, wchar_t* buffer, DWORD capacity);
  virtual bool WriteFileLocation(const wchar_t* url, const wchar_t* text);
  // <common appdata or temp>\K-Harbor\KHDownloadProtected for an
  // administrator, ...\K-Harbor\KHDownload otherwise.
  virtual bool GetStoreFolder(std::wstring& folder);
  virtual bool ReadValue(const wchar_t* key, const wchar_t* section, wchar_t* buffer, DWORD capacity);
  virtual bool WriteValue(const wchar_t* key, const wchar_t* section, const wchar_t* value);
  // Decimal text to number; an empty or non-numeric text reads as 0, and
  // 4294967295 (also the value of an overflow) is refused.
  virtual bool ParseNumber(const wchar_t* text, DWORD& value);
  virtual bool FormatNumber(DWORD value, wchar_t* buffer, DWORD capacity);

  // The file the store currently points at (empty when not opened).
  std::wstring CurrentPath() const;

 private:
  bool ReadNumber(const wchar_t* key, const wchar_t* url, DWORD& value);
  bool WriteNumber(const wchar_t* key, const wchar_t* url, DWORD value);

  IniHandler* m_ini;
  WinApiWrapper* m_api;
};

// The program's own executable file name (extension included).
bool GetOwnExecutableName(std::wstring& name);

}  // namespace khdownload
