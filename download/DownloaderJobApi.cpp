#include "download/DownloaderJobApi.h"

#include <new>
#include <string>

#include "download/DownloaderJob.h"

namespace khdownload {

namespace {

KH_DownloaderJob* AsJob(DownloaderJobHandle job) { return static_cast<KH_DownloaderJob*>(job); }

}  // namespace

int CreateDownloaderJob(DownloaderJobHandle* job, DownloadProgressCallback callback, void* userData) {
  if (!job) return kDownloadNoMemory;
  KH_DownloaderJob* created = nullptr;
  try {
    created = new KH_DownloaderJob(callback, userData);
  } catch (...) {
    return kDownloadNoMemory;
  }
  int result = created->Init();
  if (result != kDownloadOk) {
    delete created;
    return result;
  }
  *job = created;
  return kDownloadOk;
}

void ReleaseDownloaderJob(DownloaderJobHandle job) { delete AsJob(job); }

int DownloaderJobAddURL(DownloaderJobHandle job, const wchar_t* url, const wchar_t* targetPath) {
  if (!job) return kDownloadUnrecognized;
  try {
    std::wstring urlText = url ? url : L"";
    std::wstring targetText = targetPath ? targetPath : L"";
    AsJob(job)->AddURL(urlText, targetText);
  } catch (...) {
    return kDownloadNoMemory;
  }
  return kDownloadOk;
}

int DownloaderJobDownload(DownloaderJobHandle job) {
  if (!job) return kDownloadUnrecognized;
  try {
    return AsJob(job)->Download();
  } catch (...) {
    return kDownloadNoMemory;
  }
}

void DownloaderJobCancel(DownloaderJobHandle job) {
  if (job) AsJob(job)->Cancel();
}

int DownloaderJobGetInfo(DownloaderJobHandle job, DownloaderInfo* info) {
  if (!job) return kDownloadUnrecognized;
  try {
    return AsJob(job)->GetDownloaderInfo(info);
  } catch (...) {
    return kDownloadNoMemory;
  }
}

int DownloaderJobSetTimeout(DownloaderJobHandle job, int seconds) {
  if (!job) return 1;
  return AsJob(job)->SetTimeout(seconds) ? 0 : 1;
}

}  // namespace khdownload
