// The transfer interface that a download job drives: one HTTP download at a
// time, cancellable from another thread, with diagnostics about the
// connection of the current or last download.
#pragma once

#include <string>

#include "download/DownloadTypes.h"

namespace khdownload {

class IDownloader {
 public:
  virtual ~IDownloader() {}
  // Result codes of DownloadResult.h.
  virtual int download(const std::wstring& url, const std::wstring& path, DownloadProgressCallback callback,
                       void* userData) = 0;
  virtual int download(const std::wstring& url, const std::wstring& path, DownloadProgressCallback callback) = 0;
  virtual int download(const std::wstring& url, const std::wstring& path) = 0;
  // Safe from any thread; ends the running download with 2.
  virtual void abort() = 0;
  virtual bool IsServerReached() = 0;
  virtual bool IsDataStarted() = 0;
  virtual void SetProxy(const std::wstring& proxy) = 0;
  // Connect and read time-out in seconds; false (unchanged) below 1.
  virtual bool SetTimeout(int seconds) = 0;
  virtual int GetURLInfo(const wchar_t* url, URLInfo* info) = 0;
  virtual std::wstring GetResolvingName() = 0;
  virtual std::wstring GetServerAddress() = 0;
};

}  // namespace khdownload
