// Download_Helper: the installer's one entry to the download library. One
// object owns one download job at a time; download() runs one file to the
// end on a fresh job, abort() cancels it from another thread, and the four
// read-outs tell afterwards how far the last download got. Byte progress
// reaches the caller's progress sink as percentages.
#pragma once

#include <windows.h>

#include <string>

#include "download/DownloaderJobApi.h"
#include "download/ProgressSink.h"

class Download_Helper {
 public:
  Download_Helper();
  ~Download_Helper();
  Download_Helper(const Download_Helper&) = delete;
  Download_Helper& operator=(const Download_Helper&) = delete;

  static std::wstring GetLibraryVersion();
  // Releases the current job and creates a new one; the library's code.
  int createDownloaderJob();
  // True when the file is at the target path. `sink` may be null; it is
  // called on this thread and kept until the next download.
  bool download(const std::wstring& url, const std::wstring& targetPath, ProgressSink* sink);
  // Cancels the running download and every later one on this helper: an
  // abort holds for the helper's life (the life of the page that owns it).
  // Meant for another thread.
  void abort();
  // Seconds for the next downloads; 0 keeps the library's default.
  void SetTimeout(int seconds);

  // Read-outs of the last download, for after download() returned.
  bool IsConnectionEstablished();
  bool IsDownloadStarted();
  std::wstring GetDnsQueryName();
  std::wstring GetConnectAddress();

  static int ProgressCallback(const wchar_t* url, DWORD bytesDone, DWORD bytesTotal, void* userData);

 private:
  bool GetInfo(khdownload::DownloaderInfo& info);

  khdownload::DownloaderJobHandle m_job = nullptr;
  bool m_jobCreated = false;
  ProgressSink* m_sink = nullptr;
  int m_timeout = 0;
  // Guards m_job against abort() from another thread while download()
  // replaces the job; never held while a download runs.
  CRITICAL_SECTION m_jobLock;
  // Set by abort() and never cleared: a download that sees it gives up
  // before its transfer starts, since its new job would not see the cancel.
  volatile LONG m_abortRequested = 0;
};
