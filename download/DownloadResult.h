// Result codes of the download library and their log texts. Every operation
// of the library that reports a result uses this one table.
#pragma once

namespace khdownload {

enum DownloadResult {
  kDownloadOk = 0,
  kDownloadBadUrl = 1,
  kDownloadCancelled = 2,
  kDownloadNoDiskSpace = 3,  // text only: no operation returns it
  kDownloadIntegrityError = 4,
  kDownloadIoError = 5,
  kDownloadNoMemory = 6,
  kDownloadServerError = 7,
  kDownloadTimedOut = 8,
  kDownloadNotFound = 9,
  kDownloadPaused = 101,  // text only: no operation returns it
  kDownloadUnrecognized = -1,
};

extern const wchar_t* const kDownloadLibVersion;  // "KhDownloadLib version 1.0.34399"

// The constant text of a result code; an empty text for an unknown code.
const wchar_t* DownloadErrorText(int code);

}  // namespace khdownload
