// The flat job interface through which the rest of the installer reaches
// the download library. The job is opaque to callers; results are the codes
// of DownloadResult.h and nothing is thrown.
//
// Order of use: CreateDownloaderJob; optionally DownloaderJobSetTimeout;
// DownloaderJobAddURL once or more; DownloaderJobDownload;
// DownloaderJobGetInfo after it returns; ReleaseDownloaderJob.
// DownloaderJobCancel may come from another thread at any time.
#pragma once

#include "download/DownloadResult.h"
#include "download/DownloadTypes.h"

namespace khdownload {

typedef void* DownloaderJobHandle;

// On 0 *job holds the new job; on 5 or 6 it is left unchanged.
int CreateDownloaderJob(DownloaderJobHandle* job, DownloadProgressCallback callback, void* userData);
void ReleaseDownloaderJob(DownloaderJobHandle job);
// An empty or already queued URL is ignored and still gives 0.
int DownloaderJobAddURL(DownloaderJobHandle job, const wchar_t* url, const wchar_t* targetPath);
int DownloaderJobDownload(DownloaderJobHandle job);
void DownloaderJobCancel(DownloaderJobHandle job);
int DownloaderJobGetInfo(DownloaderJobHandle job, DownloaderInfo* info);
// 0 when accepted, 1 when refused (0 or fewer seconds).
int DownloaderJobSetTimeout(DownloaderJobHandle job, int seconds);

}  // namespace khdownload
