#include "download/DownloaderJob.h"

#include <new>

#include "download/DownloadResult.h"
#include "download/Downloader.h"
#include "logging/Log.h"

namespace khdownload {

KH_DownloaderJob::KH_DownloaderJob(DownloadProgressCallback callback, void* userData)
    : m_callback(callback),
      m_userData(userData),
      m_downloader(nullptr),
      m_hAbort(nullptr),
      m_retryWaitMs(1500) {
  Clear();
  CreateDownloader();
}

KH_DownloaderJob::~KH_DownloaderJob() {
  if (m_hAbort) CloseHandle(m_hAbort);
  delete m_downloader;
  Clear();
}

int KH_DownloaderJob::Init() {
  LogW(5, L"%s: ", L"khdownload::KH_DownloaderJob::Init");
  m_hAbort = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!m_hAbort) {
    LogW(1, L"%s: CreateEvent (AbortEvent) failed, error %u", L"khdownload::KH_DownloaderJob::Init",
         GetLastError());
    return kDownloadIoError;
  }
  Clear();
  return kDownloadOk;
}

void KH_DownloaderJob::CreateDownloader() {
  delete m_downloader;
  m_downloader = new (std::nothrow) Downloader;
}

void KH_DownloaderJob::AddURL(const std::wstring& url, const std::wstring& target) {
  LogW(5, L"%s: ", L"khdownload::KH_DownloaderJob::AddURL");
  if (url.empty() || target.empty()) {
    LogW(3, L"%s: download url(%s) and filepath(%s) must not empty", L"khdownload::KH_DownloaderJob::AddURL",
         url.c_str(), target.c_str());
    return;
  }
  if (IsQueued(url)) return;
  m_queue.push_back(url);
  m_targets.insert(std::make_pair(url, target));
}

void KH_DownloaderJob::Clear() {
  m_targets.clear();
  m_queue.clear();
  m_finished.clear();
}

void KH_DownloaderJob::Cancel() {
  LogW(4, L"%s: Abort signal received", L"khdownload::KH_DownloaderJob::Cancel");
  if (m_hAbort) SetEvent(m_hAbort);
  if (m_downloader) m_downloader->abort();
}

bool KH_DownloaderJob::IsQueued(const std::wstring& url) const {
  for (const std::wstring& queued : m_queue)
    if (queued == url) return true;
  return false;
}

std::wstring KH_DownloaderJob::FindTarget(const std::wstring& url) const {
  auto it = m_targets.find(url);
  return it == m_targets.end() ? std::wstring() : it->second;
}

void KH_DownloaderJob::DropFinished() {
  if (m_queue.empty() || m_finished.empty()) return;
  std::vector<std::wstring> left;
  for (const std::wstring& url : m_queue)
    if (!m_finished.count(url)) left.push_back(url);
  if (left.empty()) {
    Clear();
    return;
  }
  for (const std::wstring& url : m_finished) m_targets.erase(url);
  m_queue.swap(left);
  m_finished.clear();
}

int KH_DownloaderJob::Download() {
  LogW(5, L"%s: ", L"khdownload::KH_DownloaderJob::Download");
  int result = kDownloadOk;
  for (const std::wstring& url : m_queue) {
    result = DownloadSingleFile(url, FindTarget(url));
    if (result != kDownloadOk) break;
    m_finished.insert(url);
  }
  DropFinished();
  return result;
}

int KH_DownloaderJob::DownloadSingleFile(const std::wstring& url, const std::wstring& target) {
  LogW(5, L"%s: ", L"khdownload::KH_DownloaderJob::DownloadSingleFile");
  if (!m_downloader) return kDownloadUnrecognized;
  int result = kDownloadOk;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    // A cancel, whenever it came (before this call, between two files, or
    // between two attempts), ends it here before the next request.
    if (m_hAbort && WaitForSingleObject(m_hAbort, 0) == WAIT_OBJECT_0) {
      LogW(4, L"%s: User abort", L"khdownload::KH_DownloaderJob::DownloadSingleFile");
      return kDownloadCancelled;
    }
    LogW(5, L"%s: Attempt %d", L"khdownload::KH_DownloaderJob::DownloadSingleFile", attempt);
    result = m_downloader->download(url, target, m_callback, m_userData);
    if (result == kDownloadServerError) {
      LogW(5, L"%s: Retry in  %d ms", L"khdownload::KH_DownloaderJob::DownloadSingleFile", m_retryWaitMs);
      if (m_hAbort && WaitForSingleObject(m_hAbort, static_cast<DWORD>(m_retryWaitMs)) == WAIT_OBJECT_0) {
        LogW(4, L"%s: User abort", L"khdownload::KH_DownloaderJob::DownloadSingleFile");
        return kDownloadCancelled;
      }
    } else if (result != kDownloadTimedOut) {
      return result;
    }
  }
  return result;
}

void KH_DownloaderJob::CopyTruncated(wchar_t* buffer, size_t capacity, const std::wstring& text) {
  if (!buffer || capacity == 0) return;
  size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  text.copy(buffer, n);
  buffer[n] = L'\0';
}

int KH_DownloaderJob::GetDownloaderInfo(DownloaderInfo* info) {
  LogW(5, L"%s: ", L"khdownload::KH_DownloaderJob::GetDownloaderInfo");
  if (!info) return kDownloadNoMemory;
  if (!m_downloader) {
    info->serverReached = 0;
    info->dataStarted = 0;
    info->resolvingName[0] = L'\0';
    info->serverAddress[0] = L'\0';
    return kDownloadNoMemory;
  }
  info->serverReached = m_downloader->IsServerReached() ? 1 : 0;
  info->dataStarted = m_downloader->IsDataStarted() ? 1 : 0;
  CopyTruncated(info->resolvingName, 512, m_downloader->GetResolvingName());
  CopyTruncated(info->serverAddress, 64, m_downloader->GetServerAddress());
  return kDownloadOk;
}

int KH_DownloaderJob::GetURLInfo(const wchar_t* url, URLInfo* info) {
  LogW(5, L"%s: ", L"khdownload::KH_DownloaderJob::GetURLInfo");
  if (!m_downloader) return kDownloadUnrecognized;
  int result = m_downloader->GetURLInfo(url, info);
  if (result != kDownloadOk)
    LogW(5, L"%s: URLInfo returns error %i", L"khdownload::KH_DownloaderJob::GetURLInfo", result);
  return result;
}

void KH_DownloaderJob::SetProxy(const std::wstring& proxy) {
  if (m_downloader) m_downloader->SetProxy(proxy);
}

bool KH_DownloaderJob::SetTimeout(int seconds) {
  if (seconds <= 0) return false;
  return m_downloader ? m_downloader->SetTimeout(seconds) : false;
}

}  // namespace khdownload
