// A download job: a queue of URL/target pairs run one file at a time through
// one Downloader, each file with up to three attempts (a 1500 ms pause after
// a server failure, none after a time-out), cancellable from another thread.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "download/DownloadTypes.h"
#include "download/IDownloader.h"

namespace khdownload {

class KH_DownloaderJob {
 public:
  KH_DownloaderJob(DownloadProgressCallback callback, void* userData);
  virtual ~KH_DownloaderJob();
  KH_DownloaderJob(const KH_DownloaderJob&) = delete;
  KH_DownloaderJob& operator=(const KH_DownloaderJob&) = delete;

  // Queues url for target; an empty text or an already queued url (exact
  // comparison) is ignored, so the first target of a url stays.
  virtual void AddURL(const std::wstring& url, const std::wstring& target);
  virtual void Clear();
  // Safe from any thread. The job stays cancelled: a Download that begins
  // afterwards returns 2 without a request, and every retry pause ends at
  // once.
  virtual void Cancel();
  // Runs the queue in order and stops at the first failure; the URLs that
  // succeeded leave the queue, so a later call starts at the failed one.
  virtual int Download();
  virtual int GetDownloaderInfo(DownloaderInfo* info);
  virtual int GetURLInfo(const wchar_t* url, URLInfo* info);
  virtual void SetProxy(const std::wstring& proxy);
  // False (and no change) for 0 or less.
  virtual bool SetTimeout(int seconds);

  int Init();
  int DownloadSingleFile(const std::wstring& url, const std::wstring& target);
  void CreateDownloader();
  std::wstring FindTarget(const std::wstring& url) const;
  bool IsQueued(const std::wstring& url) const;
  void DropFinished();
  // Copies text into a buffer of capacity characters, cutting it to
  // capacity - 1 characters; always terminated.
  static void CopyTruncated(wchar_t* buffer, size_t capacity, const std::wstring& text);

  const std::vector<std::wstring>& Queue() const { return m_queue; }
  int RetryWaitMs() const { return m_retryWaitMs; }

 private:
  DownloadProgressCallback m_callback;
  void* m_userData;
  IDownloader* m_downloader;
  std::vector<std::wstring> m_queue;
  std::set<std::wstring> m_finished;
  std::map<std::wstring, std::wstring> m_targets;
  HANDLE m_hAbort;
  int m_retryWaitMs;
};

}  // namespace khdownload
