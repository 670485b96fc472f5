// The transfer half of Downloader: choosing between a fresh, a continued and
// a skipped transfer from the resume record, the GET request, and streaming
// the body into the local file.
#include <errno.h>
#include <sys/stat.h>

#include <cwchar>
#include <new>

#include "download/DownloadResult.h"
#include "download/Downloader.h"
#include "logging/Log.h"

namespace khdownload {

namespace {

void CreateEmptyFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    LogW(2, L"%s: Failed to create empty file (%s), error %u", L"CreateEmptyFile", path.c_str(), GetLastError());
    return;
  }
  CloseHandle(file);
}

void CloseFile(HANDLE& file) {
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
}

}  // namespace

int Downloader::download(const std::wstring& url, const std::wstring& path, DownloadProgressCallback callback,
                         void* userData) {
  LogW(4, L"%s: Download url '%s' to local file '%s'", L"khdownload::Downloader::download", url.c_str(),
       path.c_str());
  m_callback = callback;
  m_userData = userData;
  // The HEAD values of an earlier URL must not be written into this URL's
  // resume record when this URL's HEAD fails.
  if (url != m_current.url) {
    m_current.contentLength = 0;
    m_current.lastModified.clear();
  }
  m_current.url = url;
  m_current.fileLocation = path;
  m_current.sizeDownloaded = 0;

  int result = init(url);
  if (result != kDownloadOk) {
    LogW(1, L"%s: Initialization failed(%i)", L"khdownload::Downloader::download", result);
    CloseHandles();
    return result;
  }
  if (IsAbortSet()) {
    // Aborted before the first request: nothing goes to the server.
    LogW(4, L"%s: Download cancelled", L"khdownload::Downloader::download");
    CloseHandles();
    return kDownloadCancelled;
  }
  // Its result is left aside: a failed HEAD still lets the GET try. An
  // abort during it is not: then no GET is sent and no file is made.
  RefreshURLInfo();
  if (IsAbortSet()) {
    LogW(4, L"%s: Download cancelled", L"khdownload::Downloader::download");
    CloseHandles();
    return kDownloadCancelled;
  }
  std::wstring headers;
  m_mode = ChooseResumeMode(url, headers);
  if (m_mode == kModeResume) {
    if (!BuildResumeHeaders(headers)) headers.clear();
  } else if (m_mode == kModeComplete) {
    SendDownloadProgress(m_current.contentLength, m_current.contentLength);
    CloseHandles();
    return kDownloadOk;
  }
  result = PrepareFileDownload(headers);
  if (result != kDownloadOk)
    LogW(2, L"%s: Fail to start download", L"khdownload::Downloader::download");
  else
    result = DoDownload(path);
  CloseHandles();
  return result;
}

bool Downloader::LoadResumeInfo(const std::wstring& url) {
  LogW(5, L"%s: ", L"khdownload::Downloader::LoadResumeInfo");
  m_stored = FileDownloadInfo();
  m_stored.url = url;
  if (!m_resumeStore) m_resumeStore = new (std::nothrow) FileInfoHandler;
  if (!m_resumeStore) return false;
  bool ok = m_resumeStore->Open();
  wchar_t lastModified[512];
  wchar_t location[512];
  ok = m_resumeStore->ReadContentLength(url.c_str(), m_stored.contentLength) && ok;
  ok = m_resumeStore->ReadSizeDownloaded(url.c_str(), m_stored.sizeDownloaded) && ok;
  if (m_resumeStore->ReadLastModified(url.c_str(), lastModified, 512))
    m_stored.lastModified = lastModified;
  else
    ok = false;
  if (m_resumeStore->ReadFileLocation(url.c_str(), location, 512))
    m_stored.fileLocation = location;
  else
    ok = false;
  return ok;
}

void Downloader::SaveResumeInfo() {
  if (!m_resumeStore) m_resumeStore = new (std::nothrow) FileInfoHandler;
  if (!m_resumeStore || !m_resumeStore->Open()) return;
  const wchar_t* url = m_current.url.c_str();
  m_resumeStore->WriteContentLength(url, m_current.contentLength);
  m_resumeStore->WriteSizeDownloaded(url, m_stored.sizeDownloaded + m_current.sizeDownloaded);
  m_resumeStore->WriteFileLocation(url, m_current.fileLocation.c_str());
  m_resumeStore->WriteLastModified(url, m_current.lastModified.c_str());
}

bool Downloader::IsStoredLastModifiedCurrent() {
  if (m_stored.lastModified.empty() || m_current.lastModified.empty()) return false;
  return m_current.lastModified.find(m_stored.lastModified) != std::wstring::npos;
}

DWORD Downloader::GetFileDiskSize(const wchar_t* path) {
  if (!path) {
    LogW(3, L"%s: NULL path provided.", L"khdownload::Downloader::GetFileDiskSize");
    return 0;
  }
  struct _stat64i32 info;
  if (_wstat64i32(path, &info) != 0) {
    int error = errno;
    if (error != ENOENT)
      LogW(5, L"%s: Failed to get info on file(%u) %s", L"khdownload::Downloader::GetFileDiskSize",
           static_cast<unsigned>(error), path);
    return 0;
  }
  return static_cast<DWORD>(info.st_size);
}

int Downloader::ChooseResumeMode(const std::wstring& url, std::wstring& headers) {
  LogW(5, L"%s: ", L"khdownload::Downloader::ChooseResumeMode");
  headers.clear();
  if (!LoadResumeInfo(url) || m_stored.lastModified.empty() || m_stored.sizeDownloaded == 0 ||
      !IsStoredLastModifiedCurrent() || m_stored.fileLocation != m_current.fileLocation) {
    m_stored.sizeDownloaded = 0;
    return kModeFresh;
  }
  DWORD disk = GetFileDiskSize(m_stored.fileLocation.c_str());
  if (disk == 0 || disk < m_stored.sizeDownloaded) return kModeFresh;
  if (m_stored.sizeDownloaded != m_stored.contentLength) return kModeResume;
  if (disk == m_stored.contentLength && m_stored.contentLength == m_current.contentLength) return kModeComplete;
  return kModeFresh;
}

bool Downloader::BuildResumeHeaders(std::wstring& headers) {
  headers = L"If-Unmodified-Since: " + m_stored.lastModified + L"\r\n" + L"Range: bytes=" +
            std::to_wstring(m_stored.sizeDownloaded) + L"-" + std::to_wstring(m_stored.contentLength) + L"\r\n";
  return true;
}

bool Downloader::ReadContentRange(HINTERNET request, DWORD& first, DWORD& total) {
  wchar_t text[128] = L"";
  DWORD size = sizeof text - sizeof(wchar_t);
  if (!::HttpQueryInfoW(request, HTTP_QUERY_CONTENT_RANGE, text, &size, nullptr)) return false;
  unsigned long a = 0, b = 0, t = 0;
  if (swscanf(text, L"bytes %lu-%lu/%lu", &a, &b, &t) != 3) return false;
  first = static_cast<DWORD>(a);
  total = static_cast<DWORD>(t);
  return true;
}

int Downloader::PrepareFileDownload(const std::wstring& headers) {
  LogW(5, L"%s: ", L"khdownload::Downloader::PrepareFileDownload");
  if (headers.empty()) {
    m_stored.contentLength = 0;
    m_stored.sizeDownloaded = 0;
    m_mode = kModeFresh;
  }
  m_rangeTotal = 0;
  HINTERNET request = OpenRequest(L"GET", true);
  if (!request) {
    LogW(3, L"%s: HttpOpenRequest Error %i", L"khdownload::Downloader::PrepareFileDownload",
         static_cast<int>(GetLastError()));
    return kDownloadServerError;
  }
  m_hRequest = request;
  int result = TrySendRequest(request, headers);
  if (result == kDownloadServerError) {
    if (!TryProxy()) {
      CloseRequest(m_hRequest);
      return kDownloadServerError;
    }
    result = TrySendRequest(request, headers);
  }
  if (result != kDownloadOk) {
    CloseRequest(m_hRequest);
    return result;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!::HttpQueryInfoW(m_hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
    LogW(3, L"%s: HttpQueryInfoW statuscode failed, error = %d", L"khdownload::Downloader::PrepareFileDownload",
         static_cast<int>(GetLastError()));
    status = 0;
  }
  bool ranged = !headers.empty();
  if (status == HTTP_STATUS_PARTIAL_CONTENT) {
    DWORD first = 0, total = 0;
    if (ReadContentRange(m_hRequest, first, total)) {
      if (first != m_stored.sizeDownloaded) {
        // Writing such a part at the resume offset would corrupt the file.
        LogW(3, L"%s: Content-Range starts at %u, expected %u", L"khdownload::Downloader::PrepareFileDownload",
             first, m_stored.sizeDownloaded);
        CloseRequest(m_hRequest);
        if (!ranged) return kDownloadServerError;
        RefreshURLInfo();
        return PrepareFileDownload(std::wstring());
      }
      m_rangeTotal = total;
    }
  }
  if (status == HTTP_STATUS_OK || status == HTTP_STATUS_PARTIAL_CONTENT) {
    if (status == HTTP_STATUS_OK && m_stored.sizeDownloaded != 0) {
      // The server ignored the range and sends the whole file: start over.
      LogW(4, L"%s: Range not honoured, downloading the whole file", L"khdownload::Downloader::PrepareFileDownload");
      m_stored.contentLength = 0;
      m_stored.sizeDownloaded = 0;
      m_mode = kModeFresh;
    }
    DWORD length = 0;
    size = sizeof length;
    if (::HttpQueryInfoW(m_hRequest, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr))
      m_getLength = length;
    else
      LogW(3, L"%s: QueryInfo Content Length failed, error %u", L"khdownload::Downloader::PrepareFileDownload",
           GetLastError());
    m_serverReached = true;
    return kDownloadOk;
  }
  if (status == HTTP_STATUS_NOT_FOUND) {
    LogW(3, L"%s: HTTP_STATUS_NOT_FOUND 404", L"khdownload::Downloader::PrepareFileDownload");
    CloseRequest(m_hRequest);
    return kDownloadNotFound;
  }
  // 416 to a ranged request means the record no longer fits the file on the
  // server; like 412 it calls for a fresh transfer rather than a failure that
  // would repeat on every later attempt.
  if (status == HTTP_STATUS_PRECOND_FAILED || (ranged && status == 416)) {
    if (status == HTTP_STATUS_PRECOND_FAILED) {
      LogW(5, L"%s: HttpQueryInfoW failed with statusCode HTTP_STATUS_PRECOND_FAILED",
           L"khdownload::Downloader::PrepareFileDownload");
    } else {
      LogW(4, L"%s: Range not satisfiable (416), downloading the whole file",
           L"khdownload::Downloader::PrepareFileDownload");
    }
    CloseRequest(m_hRequest);
    if (!ranged) return kDownloadServerError;
    RefreshURLInfo();
    return PrepareFileDownload(std::wstring());
  }
  LogW(3, L"%s: statusCode invalid", L"khdownload::Downloader::PrepareFileDownload");
  CloseRequest(m_hRequest);
  return kDownloadServerError;
}

void Downloader::SendDownloadProgress(DWORD done, DWORD total) {
  if (!m_callback) return;
  if (static_cast<LONG>(done) > static_cast<LONG>(total)) {
    LogW(3, L"%s: sizeDownloaded(%u) larger than total(%u)", L"khdownload::Downloader::SendDownloadProgress", done,
         total);
    done = total;
  }
  m_callback(m_current.url.c_str(), done, total, m_userData);
}

int Downloader::FinishFile(HANDLE& file, DWORD bytesDone) {
  if (file == INVALID_HANDLE_VALUE) return kDownloadOk;
  // A continued file may have been longer than the transfer's end.
  bool ok = SetEndOfFile(file) != FALSE;
  DWORD error = ok ? 0 : GetLastError();
  if (!ok)
    LogW(3, L"%s: failed to set end of file after %u bytes, error %u", L"khdownload::Downloader::DoDownload",
         bytesDone, error);
  BOOL closed = CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
  if (!closed) {
    LogW(3, L"%s: failed to close file, error %u", L"khdownload::Downloader::DoDownload", GetLastError());
    return kDownloadIoError;
  }
  return ok ? kDownloadOk : kDownloadIoError;
}

int Downloader::DoDownload(const std::wstring& path) {
  LogW(5, L"%s: ", L"khdownload::Downloader::DoDownload");
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD bytesDone = 0;
  const DWORD offset = m_stored.sizeDownloaded;
  m_current.sizeDownloaded = 0;
  if (!m_buffer) m_buffer = new (std::nothrow) ReadBuffer;
  if (!m_buffer) return kDownloadNoMemory;

  while (!IsAbortSet()) {
    ResetEvent(m_hRequestComplete);
    m_asyncError = 0;
    m_buffer->bytesRead = 0;
    SetWaitHandle(m_hRequest);
    if (!InternetReadFile(m_hRequest, m_buffer->data, kReadChunkSize, &m_buffer->bytesRead)) {
      DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) {
        LogW(3, L"%s: Read File failed, error %u", L"khdownload::Downloader::DoDownload", error);
        CloseFile(file);
        return kDownloadServerError;
      }
      m_readPending = true;
      WaitResult wait = WaitForNetwork(m_hRequest, static_cast<DWORD>(m_timeoutMs));
      if (wait == kAborted) {
        LogW(4, L"%s: Operation cancelled", L"khdownload::Downloader::DoDownload");
        CloseFile(file);
        return kDownloadCancelled;
      }
      if (wait == kTimedOut) {
        LogW(3, L"%s: InternetReadFile () timed out", L"khdownload::Downloader::DoDownload");
        CloseFile(file);
        return kDownloadTimedOut;
      }
      m_readPending = false;
      if (m_asyncError) {
        LogW(3, L"%s: Read File failed asynchronously, error %u", L"khdownload::Downloader::DoDownload",
             static_cast<DWORD>(m_asyncError));
        CloseFile(file);
        return kDownloadServerError;
      }
    }
    DWORD chunk = m_buffer->bytesRead;
    if (chunk > kReadChunkSize) chunk = 0;  // never trust a length beyond the buffer

    if (chunk == 0) {
      // A reset connection also ends like this, so the length decides.
      DWORD expected = 0;
      bool mismatch = false;
      if (m_getLength >= 0) {
        expected = static_cast<DWORD>(m_getLength);
        mismatch = expected != bytesDone;
      } else if (m_rangeTotal != 0) {
        expected = m_rangeTotal - offset;
        mismatch = offset + bytesDone != m_rangeTotal;
      }
      if (mismatch) {
        LogW(3, L"%s: Download completed: %u of %u, size doesn't match", L"khdownload::Downloader::DoDownload",
             bytesDone, expected);
        CloseFile(file);
        return kDownloadIntegrityError;
      }
      LogW(4, L"%s: Download completed: %u bytes", L"khdownload::Downloader::DoDownload", bytesDone);
      if (file == INVALID_HANDLE_VALUE && bytesDone == 0 && m_getLength == 0 && m_mode == kModeFresh)
        CreateEmptyFile(path);
      SaveResumeInfo();
      int result = FinishFile(file, bytesDone);
      if (result != kDownloadOk) return result;
      CloseHandles();
      return kDownloadOk;
    }

    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::HttpQueryInfoW(m_hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
      LogW(4, L"%s: Failed to query Status Code error:%d", L"khdownload::Downloader::DoDownload",
           static_cast<int>(GetLastError()));
    } else if (status != HTTP_STATUS_OK && status != HTTP_STATUS_PARTIAL_CONTENT) {
      LogW(4, L"%s: status code %d", L"khdownload::Downloader::DoDownload", static_cast<int>(status));
      if (status >= 400 && status <= 499) {
        LogW(1, L"%s: Got http status code %d aborting", L"khdownload::Downloader::DoDownload",
             static_cast<int>(status));
        CloseFile(file);
        return kDownloadNotFound;
      }
      LogW(4, L"%s: Trying to continue anyway", L"khdownload::Downloader::DoDownload");
    }

    if (bytesDone == 0 && file == INVALID_HANDLE_VALUE) {
      m_dataStarted = true;
      file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         m_mode == kModeFresh ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        LogW(2, L"%s: Failed to create file (%s), error %u", L"khdownload::Downloader::DoDownload", path.c_str(),
             GetLastError());
        return kDownloadIoError;
      }
      if (SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
          GetLastError() != NO_ERROR) {
        LogW(2, L"%s: Failed to move file pointer (%s) , error %u", L"khdownload::Downloader::DoDownload",
             path.c_str(), GetLastError());
        CloseFile(file);
        return kDownloadIoError;
      }
    }

    DWORD written = 0;
    while (written < chunk) {
      DWORD n = 0;
      if (!WriteFile(file, m_buffer->data + written, chunk - written, &n, nullptr)) {
        LogW(3, L"%s: WriteFile () failed for %s, error %u", L"khdownload::Downloader::DoDownload", path.c_str(),
             GetLastError());
        CloseFile(file);
        return kDownloadIoError;
      }
      if (n == 0) {
        LogW(3, L"%s: WriteFile () without result for %s", L"khdownload::Downloader::DoDownload", path.c_str());
        CloseFile(file);
        return kDownloadIoError;
      }
      written += n;
    }

    bytesDone += chunk;
    m_current.sizeDownloaded = bytesDone;
    SaveResumeInfo();
    if (m_getLength < 0)
      SendDownloadProgress(0, 0);
    else
      SendDownloadProgress(offset + bytesDone, m_current.contentLength);
  }
  LogW(4, L"%s: Download cancelled", L"khdownload::Downloader::DoDownload");
  CloseFile(file);
  return kDownloadCancelled;
}

}  // namespace khdownload
