// Download_Helper: the installer's one entry to the download library. One
// object owns one download job at a time; download() runs one file to the
// end, abort() cancels it from another thread, and the four read-outs tell
// afterwards how far the last download got.
#pragma once

#include <string>

#include "download/DownloaderJobApi.h"
#include "installer/ProgressSink.h"

class Download_Helper {
 public:
  Download_Helper();
  ~Download_Helper();
  Download_Helper(const Download_Helper&) = delete;
  Download_Helper& operator=(const Download_Helper&) = delete;

  static std::wstring GetLibraryVersion();
  int createDownloaderJob();
  // True when the file is at the target path. `sink` may be null.
  bool download(const std::wstring& url, const std::wstring& targetPath, ProgressSink* sink);
  void abort();
  // Seconds for the next downloads; 0 keeps the library's default.
  void SetTimeout(int seconds);

  bool IsConnectionEstablished();
  bool IsDownloadStarted();
  std::wstring GetDnsQueryName();
  std::wstring GetConnectAddress();

  static int ProgressCallback(const wchar_t* url, DWORD bytesDone, DWORD bytesTotal, void* userData);

 private:
  khdownload::DownloaderJobHandle m_job = nullptr;
  bool m_jobCreated = false;
  ProgressSink* m_sink = nullptr;
  int m_timeout = 0;
};
