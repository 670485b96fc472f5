// Access to one profile (INI) file through the platform's profile functions.
#pragma once

#include <string>

#include "download/WinApiWrapper.h"

namespace khdownload {

class IFileDownloadInfo {
 public:
  virtual ~IFileDownloadInfo() {}
  virtual bool SetPath(const wchar_t* path) = 0;
  virtual bool Read(const wchar_t* section, const wchar_t* key, wchar_t* buffer, DWORD& capacity) = 0;
  virtual bool Write(const wchar_t* section, const wchar_t* key, const wchar_t* value) = 0;
};

class IniHandler : public IFileDownloadInfo {
 public:
  IniHandler();
  ~IniHandler() override;
  IniHandler(const IniHandler&) = delete;
  IniHandler& operator=(const IniHandler&) = delete;

  bool SetPath(const wchar_t* path) override;
  // Fails when no path is set, the buffer is null or the file is missing;
  // otherwise a missing section or key reads as an empty text. capacity
  // comes back as the value's length; a value that did not fit fails.
  bool Read(const wchar_t* section, const wchar_t* key, wchar_t* buffer, DWORD& capacity) override;
  bool Write(const wchar_t* section, const wchar_t* key, const wchar_t* value) override;

  const std::wstring& Path() const { return m_path; }

 private:
  std::wstring m_path;
  WinApiWrapper* m_api;
};

}  // namespace khdownload
