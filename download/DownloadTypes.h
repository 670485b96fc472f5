// Records that the download library hands to its callers and keeps about a
// file: the diagnostic read-out of a job, the answer of a HEAD request, the
// progress callback and the per-URL resume record. All sizes are unsigned
// 32-bit: files of 4 GiB and more are not supported.
#pragma once

#include <windows.h>

#include <string>

namespace khdownload {

// Called on the thread that runs the download; the result is ignored.
typedef int (*DownloadProgressCallback)(const wchar_t* url, DWORD bytesDone, DWORD bytesTotal, void* userData);

struct DownloaderInfo {
  int serverReached;          // 1 once the server was reached in the current or last download
  int dataStarted;            // 1 once GET body bytes arrived in the current or last download
  wchar_t resolvingName[512];  // host name last reported as being resolved
  wchar_t serverAddress[64];   // the server's address as last known
};

struct URLInfo {
  DWORD contentLength;
  wchar_t lastModified[512];  // the Last-Modified header's text
};

// What the resume file keeps per URL.
struct FileDownloadInfo {
  std::wstring url;
  std::wstring lastModified;
  std::wstring fileLocation;
  DWORD contentLength = 0;
  DWORD sizeDownloaded = 0;
};

}  // namespace khdownload
