#include "download/DownloadHelper.h"

#include "logging/Log.h"

using namespace khdownload;

Download_Helper::Download_Helper() {
  InitializeCriticalSection(&m_jobLock);
  LogW(5, L"%s: ", L"Download_Helper::Download_Helper");
  LogW(4, L"%s: fault tolerant downloader version: %s", L"Download_Helper::Download_Helper",
       GetLibraryVersion().c_str());
  createDownloaderJob();
}

Download_Helper::~Download_Helper() {
  m_jobCreated = false;
  m_sink = nullptr;
  if (m_job) ReleaseDownloaderJob(m_job);
  m_job = nullptr;
  DeleteCriticalSection(&m_jobLock);
}

std::wstring Download_Helper::GetLibraryVersion() { return L"KhDownloadLib version 1.0.34399"; }

int Download_Helper::createDownloaderJob() {
  LogW(5, L"%s: ", L"Download_Helper::createDownloaderJob");
  EnterCriticalSection(&m_jobLock);
  if (m_jobCreated) {
    LogW(4, L"%s: delete old instance", L"Download_Helper::createDownloaderJob");
    if (m_job) ReleaseDownloaderJob(m_job);
    // A failed creation below leaves no job: nothing may touch the old one.
    m_job = nullptr;
  }
  int result = CreateDownloaderJob(&m_job, &Download_Helper::ProgressCallback, this);
  m_jobCreated = true;
  LeaveCriticalSection(&m_jobLock);
  return result;
}

bool Download_Helper::download(const std::wstring& url, const std::wstring& targetPath, ProgressSink* sink) {
  const wchar_t* const me = L"Download_Helper::download";
  LogW(5, L"%s: ", me);
  if (url.empty() || targetPath.empty()) {
    LogW(3, L"%s: Download URL and target file path must not empty.", me);
    return false;
  }
  m_sink = sink;
  int code = createDownloaderJob();
  if (code != kDownloadOk || !m_job) {
    LogW(1, L"%s: Failed to create downloader job: %s", me, DownloadErrorText(code));
    return false;
  }
  if (m_timeout != 0 && DownloaderJobSetTimeout(m_job, m_timeout) != 0) {
    LogW(1, L"%s: Failed to set a time out: %d for downloader job", me, m_timeout);
    return false;
  }
  code = DownloaderJobAddURL(m_job, url.c_str(), targetPath.c_str());
  if (code != kDownloadOk) {
    LogW(1, L"%s: Failed to add %s (target: %s) to downloader job: %s", me, url.c_str(), targetPath.c_str(),
         DownloadErrorText(code));
    return false;
  }
  // An abort given before this job existed (it reached the old one, or no
  // job at all): the new job never heard of it, so it is honoured here. A
  // later one reaches this job, which then stays cancelled.
  if (InterlockedCompareExchange(&m_abortRequested, 0, 0) != 0)
    code = kDownloadCancelled;
  else
    code = DownloaderJobDownload(m_job);
  if (code != kDownloadOk) {
    LogW(1, L"%s: Failed to download %s to %s: %s", me, url.c_str(), targetPath.c_str(), DownloadErrorText(code));
    return false;
  }
  return true;
}

void Download_Helper::abort() {
  LogW(5, L"%s: ", L"Download_Helper::abort");
  InterlockedExchange(&m_abortRequested, 1);
  EnterCriticalSection(&m_jobLock);
  if (m_job) DownloaderJobCancel(m_job);
  LeaveCriticalSection(&m_jobLock);
}

void Download_Helper::SetTimeout(int seconds) { m_timeout = seconds; }

bool Download_Helper::GetInfo(DownloaderInfo& info) {
  if (!m_job) return false;
  return DownloaderJobGetInfo(m_job, &info) == kDownloadOk;
}

bool Download_Helper::IsConnectionEstablished() {
  DownloaderInfo info = {};
  return GetInfo(info) && info.serverReached == 1;
}

bool Download_Helper::IsDownloadStarted() {
  DownloaderInfo info = {};
  return GetInfo(info) && info.dataStarted == 1;
}

std::wstring Download_Helper::GetDnsQueryName() {
  DownloaderInfo info = {};
  return GetInfo(info) ? std::wstring(info.resolvingName) : std::wstring();
}

std::wstring Download_Helper::GetConnectAddress() {
  DownloaderInfo info = {};
  return GetInfo(info) ? std::wstring(info.serverAddress) : std::wstring();
}

int Download_Helper::ProgressCallback(const wchar_t*, DWORD bytesDone, DWORD bytesTotal, void* userData) {
  Download_Helper* helper = static_cast<Download_Helper*>(userData);
  if (!helper || !helper->m_sink) return 0;
  if (bytesTotal == 0 || bytesTotal == 0xFFFFFFFF) {
    helper->m_sink->SetSubProgress(0);
    return 0;
  }
  double percent = static_cast<double>(static_cast<int>(bytesDone)) / static_cast<int>(bytesTotal) * 100.0;
  helper->m_sink->SetSubProgress(static_cast<int>(percent));
  return 0;
}
