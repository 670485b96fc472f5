#include "download/tests/DownloadTestSupport.h"

#include "download/FileInfoHandler.h"

namespace downloadtest {

void ResetOwnResumeFile() {
  khdownload::FileInfoHandler store;
  if (store.Open()) DeleteFileW(store.CurrentPath().c_str());
}

ResumeRecord ReadResumeRecord(const std::wstring& url) {
  ResumeRecord r;
  khdownload::FileInfoHandler store;
  if (!store.Open()) return r;
  wchar_t location[512], modified[512];
  bool a = store.ReadContentLength(url.c_str(), r.contentLength);
  bool b = store.ReadSizeDownloaded(url.c_str(), r.sizeDownloaded);
  bool c = store.ReadFileLocation(url.c_str(), location, 512);
  bool d = store.ReadLastModified(url.c_str(), modified, 512);
  if (c) r.fileLocation = location;
  if (d) r.lastModified = modified;
  r.found = a && b && c && d && !r.fileLocation.empty();
  return r;
}

std::wstring UniqueFileName(const wchar_t* prefix) {
  static LONG counter = 0;
  return std::wstring(prefix) + std::to_wstring(GetCurrentProcessId()) + L"_" +
         std::to_wstring(GetTickCount()) + L"_" + std::to_wstring(InterlockedIncrement(&counter)) + L".bin";
}

int RecordProgress(const wchar_t*, DWORD done, DWORD total, void* userData) {
  Progress* p = static_cast<Progress*>(userData);
  p->calls.push_back(std::make_pair(done, total));
  if (p->dataEvent && done > 0) SetEvent(p->dataEvent);
  return 0;
}

}  // namespace downloadtest
