// Helpers shared by the download library's tests: a fresh resume file for
// the test program, reading a URL's resume record, and a progress recorder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "download/DownloadTypes.h"

namespace downloadtest {

// Deletes this program's own resume file, so that records of earlier runs
// neither pile up nor match.
void ResetOwnResumeFile();

struct ResumeRecord {
  bool found = false;
  DWORD contentLength = 0;
  DWORD sizeDownloaded = 0;
  std::wstring fileLocation;
  std::wstring lastModified;
};
ResumeRecord ReadResumeRecord(const std::wstring& url);

struct Progress {
  std::vector<std::pair<DWORD, DWORD>> calls;
  HANDLE dataEvent = nullptr;  // set once a call reports data, if given
};
int RecordProgress(const wchar_t* url, DWORD done, DWORD total, void* userData);

// A server file name that no other process or earlier run uses.
std::wstring UniqueFileName(const wchar_t* prefix);

}  // namespace downloadtest
