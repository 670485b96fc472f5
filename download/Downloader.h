// One HTTP download at a time over WinINet in asynchronous mode: a HEAD
// request for the file's length and Last-Modified date, a decision from the
// resume file whether to start afresh, continue a partial file or skip a
// complete one, a GET (ranged and guarded by If-Unmodified-Since when
// continuing), and the body streamed to the local file in 32768-byte chunks
// with the resume record and the progress callback updated after each.
// Every wait for the network also ends on the abort event.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

#include "download/DownloadTypes.h"
#include "download/FileInfoHandler.h"
#include "download/IDownloader.h"
#include "download/WininetWrapper.h"

namespace khdownload {

const DWORD kReadChunkSize = 32768;

// The buffer of one InternetReadFile call, with its length word: both must
// stay valid until WinINet completes the read.
struct ReadBuffer {
  BYTE data[kReadChunkSize];
  DWORD bytesRead;
};

class Downloader : public IDownloader {
 public:
  Downloader();
  ~Downloader() override;
  Downloader(const Downloader&) = delete;
  Downloader& operator=(const Downloader&) = delete;

  int download(const std::wstring& url, const std::wstring& path, DownloadProgressCallback callback,
               void* userData) override;
  int download(const std::wstring& url, const std::wstring& path, DownloadProgressCallback callback) override;
  int download(const std::wstring& url, const std::wstring& path) override;
  void abort() override;
  bool IsServerReached() override { return m_serverReached; }
  bool IsDataStarted() override { return m_dataStarted; }
  void SetProxy(const std::wstring& proxy) override { m_proxy = proxy; }
  bool SetTimeout(int seconds) override;
  int GetURLInfo(const wchar_t* url, URLInfo* info) override;
  std::wstring GetResolvingName() override;
  std::wstring GetServerAddress() override;

  // Called by LiveDownloaderRegistry, under its lock, on WinINet's threads.
  void statusCallbackInternal(HINTERNET handle, DWORD status, LPVOID information, DWORD length);

  int TimeoutMs() const { return m_timeoutMs; }

 protected:
  virtual int init(const std::wstring& url);
  virtual void CloseHandles();
  virtual std::wstring StatusTextToWide(LPVOID information, DWORD length);
  virtual bool LoadResumeInfo(const std::wstring& url);
  virtual bool CrackURL(const std::wstring& url);
  virtual int RefreshURLInfo();
  virtual int PrepareFileDownload(const std::wstring& headers);
  virtual void SaveResumeInfo();
  virtual bool IsStoredLastModifiedCurrent();
  virtual int DoDownload(const std::wstring& path);
  virtual DWORD GetFileDiskSize(const wchar_t* path);
  virtual int ChooseResumeMode(const std::wstring& url, std::wstring& headers);
  virtual void SendDownloadProgress(DWORD done, DWORD total);
  virtual bool TryProxy();
  virtual bool BuildResumeHeaders(std::wstring& headers);
  virtual int doHTTPHead(const std::wstring& headers, DWORD& status, DWORD& contentLength,
                         std::wstring& lastModified);
  virtual int TrySendRequest(HINTERNET request, const std::wstring& headers);

 private:
  enum WaitResult { kCompleted, kAborted, kTimedOut };
  enum Mode { kModeFresh = 1, kModeResume = 2, kModeComplete = 3 };

  WaitResult WaitForNetwork(HINTERNET handle, DWORD timeoutMs);
  HINTERNET OpenRequest(const wchar_t* verb, bool direct);
  void SetRequestTimeouts(HINTERNET request);
  void CloseRequest(HINTERNET& request);
  void AbandonPendingRead();
  bool IsAbortSet();
  void SetWaitHandle(HINTERNET handle);
  bool ReadContentRange(HINTERNET request, DWORD& first, DWORD& total);
  int FinishFile(HANDLE& file, DWORD bytesDone);

  HANDLE m_hRequestComplete;
  HANDLE m_hAbort;
  HANDLE m_hSafeToDeleteObject;
  HINTERNET m_hSession;
  HINTERNET m_hRequest;
  HINTERNET volatile m_hLastCreated;
  HINTERNET m_hConnection;
  LONGLONG m_getLength;
  volatile bool m_serverReached;
  volatile bool m_dataStarted;
  std::wstring m_resolvingName;
  std::wstring m_serverAddress;
  volatile DWORD m_asyncError;
  WininetWrapper* m_wininet;
  std::wstring m_hostName;
  std::wstring m_urlPath;
  std::wstring m_proxy;
  INTERNET_PORT m_port;
  FileInfoHandler* m_resumeStore;
  int m_mode;
  FileDownloadInfo m_current;
  FileDownloadInfo m_stored;
  int m_timeoutMs;
  DownloadProgressCallback m_callback;
  void* m_userData;

  // Beyond the transfer's own state: the handle whose completion a wait
  // expects (null: any), the read buffer (replaced when a pending read has
  // to be given up), the answer's Content-Range total (0 when none), a lock
  // that keeps abort() from racing with the closing of the abort event, and
  // an abort that came while no event existed (before this download began
  // or between two): the next download starts aborted and sends nothing.
  HINTERNET m_hWaitFor;
  bool m_waitAny;
  ReadBuffer* m_buffer;
  bool m_readPending;
  DWORD m_rangeTotal;
  CRITICAL_SECTION m_lock;  // also guards the texts, m_hWaitFor and the request-complete event
  volatile bool m_abortPending;
};

}  // namespace khdownload
