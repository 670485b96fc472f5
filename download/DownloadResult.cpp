#include "download/DownloadResult.h"

namespace khdownload {

const wchar_t* const kDownloadLibVersion = L"KhDownloadLib version 1.0.34399";

const wchar_t* DownloadErrorText(int code) {
  switch (code) {
    case kDownloadOk: return L"No error";
    case kDownloadBadUrl: return L"Bad URL for downloading";
    case kDownloadCancelled: return L"Download was cancelled on request";
    case kDownloadNoDiskSpace: return L"Not enough disk space";
    case kDownloadIntegrityError: return L"Integrity error";
    case kDownloadIoError: return L"Input/output error";
    case kDownloadNoMemory: return L"Not enough memory";
    case kDownloadServerError: return L"Unrecoverable error in getting the file from server";
    case kDownloadTimedOut: return L"Download could not proceed for long time";
    case kDownloadNotFound: return L"Resource Not Found (HTTP 404)";
    case kDownloadPaused: return L"Download was paused on request";
    case kDownloadUnrecognized: return L"Unrecognized error";
    default: return L"";
  }
}

}  // namespace khdownload
