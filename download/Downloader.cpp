// Session, connection and request handling of Downloader: set-up and
// tear-down, the status callback, cancelling, HEAD requests and sending.
#include "download/Downloader.h"

#include <cstring>
#include <new>

#include "download/DownloadResult.h"
#include "download/LiveDownloaderRegistry.h"
#include "logging/Log.h"

namespace khdownload {

namespace {

const DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI;
const DWORD kSendWaitMs = 40000;
const DWORD kDefaultTimeoutMs = 40000;
const DWORD kHostCapacity = 2048;
const DWORD kPathCapacity = 2048;

class AutoLock {
 public:
  explicit AutoLock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
  ~AutoLock() { LeaveCriticalSection(&m_cs); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;

 private:
  CRITICAL_SECTION& m_cs;
};

}  // namespace

Downloader::Downloader()
    : m_hRequestComplete(nullptr),
      m_hAbort(nullptr),
      m_hSafeToDeleteObject(nullptr),
      m_hSession(nullptr),
      m_hRequest(nullptr),
      m_hLastCreated(nullptr),
      m_hConnection(nullptr),
      m_getLength(-1),
      m_serverReached(false),
      m_dataStarted(false),
      m_asyncError(0),
      m_wininet(nullptr),
      m_port(0),
      m_resumeStore(nullptr),
      m_mode(kModeFresh),
      m_timeoutMs(kDefaultTimeoutMs),
      m_callback(nullptr),
      m_userData(nullptr),
      m_hWaitFor(nullptr),
      m_waitAny(false),
      m_buffer(nullptr),
      m_readPending(false),
      m_rangeTotal(0),
      m_abortPending(false) {
  InitializeCriticalSection(&m_lock);
  LiveDownloaderRegistry::Add(this);
  m_hSafeToDeleteObject = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  m_wininet = new WininetWrapper;
}

Downloader::~Downloader() {
  CloseHandles();
  LogW(5, L"%s: Starting to wait for 'm_hSafeToDeleteObject'", L"khdownload::Downloader::~Downloader");
  if (m_hSafeToDeleteObject && WaitForSingleObject(m_hSafeToDeleteObject, 1000) == WAIT_TIMEOUT)
    LogW(1, L"%s: Finished waiting 1.0 seconds for 'm_hSafeToDeleteObject' and still did not get it!",
         L"khdownload::Downloader::~Downloader");
  LiveDownloaderRegistry::Remove(this);
  delete m_resumeStore;
  delete m_wininet;
  delete m_buffer;
  if (m_hSafeToDeleteObject) CloseHandle(m_hSafeToDeleteObject);
  DeleteCriticalSection(&m_lock);
  LogW(5, L"%s: Destructing Downloader done", L"khdownload::Downloader::~Downloader");
}

int Downloader::download(const std::wstring& url, const std::wstring& path, DownloadProgressCallback callback) {
  return download(url, path, callback, nullptr);
}

int Downloader::download(const std::wstring& url, const std::wstring& path) {
  return download(url, path, nullptr, nullptr);
}

void Downloader::abort() {
  LogW(4, L"%s: Abort signal received", L"khdownload::Downloader::abort");
  AutoLock lock(m_lock);
  if (m_hAbort)
    SetEvent(m_hAbort);
  else
    m_abortPending = true;
}

void Downloader::SetWaitHandle(HINTERNET handle) {
  AutoLock lock(m_lock);
  m_hWaitFor = handle;
  m_waitAny = false;
}

bool Downloader::IsAbortSet() { return m_hAbort && WaitForSingleObject(m_hAbort, 0) == WAIT_OBJECT_0; }

bool Downloader::SetTimeout(int seconds) {
  LogW(5, L"%s: ", L"khdownload::Downloader::SetTimeout");
  if (seconds < 1) return false;
  m_timeoutMs = seconds * 1000;
  return true;
}

std::wstring Downloader::GetResolvingName() {
  AutoLock lock(m_lock);
  return m_resolvingName;
}

std::wstring Downloader::GetServerAddress() {
  AutoLock lock(m_lock);
  return m_serverAddress;
}

bool Downloader::CrackURL(const std::wstring& url) {
  LogW(5, L"%s: ", L"khdownload::Downloader::CrackURL");
  wchar_t host[kHostCapacity];
  wchar_t path[kPathCapacity];
  URL_COMPONENTSW parts;
  memset(&parts, 0, sizeof parts);
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = kHostCapacity;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kPathCapacity;
  if (url.empty() ||
      !InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), ICU_ESCAPE, &parts) ||
      parts.dwHostNameLength == 0) {
    LogW(3, L"%s: Failed to crack url(%s) %i", L"khdownload::Downloader::CrackURL", url.c_str(),
         static_cast<int>(GetLastError()));
    m_hostName.clear();
    m_urlPath.clear();
    return false;
  }
  m_port = parts.nPort;
  m_urlPath.assign(path, parts.dwUrlPathLength);
  m_hostName.assign(host, parts.dwHostNameLength);
  AutoLock lock(m_lock);
  m_serverAddress = m_hostName;
  return true;
}

int Downloader::init(const std::wstring& url) {
  LogW(5, L"%s: ", L"khdownload::Downloader::init");
  m_current.url = url;
  {
    AutoLock lock(m_lock);
    m_serverAddress.clear();
  }
  if (!CrackURL(url)) {
    LogW(3, L"%s: CrackUrl failed for: %s", L"khdownload::Downloader::init", url.c_str());
    return kDownloadBadUrl;
  }
  m_dataStarted = false;
  m_serverReached = false;
  {
    AutoLock lock(m_lock);
    m_resolvingName.clear();
  }
  m_getLength = -1;
  m_rangeTotal = 0;
  m_asyncError = 0;

  m_hRequestComplete = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!m_hRequestComplete) {
    LogW(3, L"%s: CreateEvent (InetAsync) failed, error %u", L"khdownload::Downloader::init", GetLastError());
    return kDownloadIoError;
  }
  HANDLE abortEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!abortEvent) {
    LogW(3, L"%s: CreateEvent (AbortEvent) failed, error %u", L"khdownload::Downloader::init", GetLastError());
    return kDownloadIoError;
  }
  {
    // An abort that came before the event existed (before download() began
    // or while it was starting) must not be lost.
    AutoLock lock(m_lock);
    m_hAbort = abortEvent;
    if (m_abortPending) SetEvent(m_hAbort);
    m_abortPending = false;
  }

  m_hSession = m_wininet->InternetOpenW(L"KHDownload", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                        INTERNET_FLAG_ASYNC);
  if (!m_hSession) {
    LogW(3, L"%s: InternetOpen () failed, error %u", L"khdownload::Downloader::init", GetLastError());
    CloseHandles();
    return kDownloadServerError;
  }
  if (InternetSetStatusCallbackW(m_hSession, DownloaderStatusCallback) == INTERNET_INVALID_STATUS_CALLBACK) {
    LogW(3, L"%s: InternetSetStatusCallback () failed, error %u", L"khdownload::Downloader::init",
         GetLastError());
    CloseHandles();
    return kDownloadServerError;
  }

  ResetEvent(m_hSafeToDeleteObject);
  ResetEvent(m_hRequestComplete);
  SetWaitHandle(nullptr);
  m_hConnection = InternetConnectW(m_hSession, m_hostName.c_str(), m_port, nullptr, nullptr,
                                   INTERNET_SERVICE_HTTP, 0, reinterpret_cast<DWORD_PTR>(this));
  if (m_hConnection) return kDownloadOk;
  DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) {
    SetEvent(m_hSafeToDeleteObject);
    LogW(3, L"%s: InternetConnect() failed, error %u", L"khdownload::Downloader::init", error);
    return kDownloadServerError;
  }
  switch (WaitForNetwork(nullptr, static_cast<DWORD>(m_timeoutMs))) {
    case kAborted:
      LogW(4, L"%s: connection request cancelled", L"khdownload::Downloader::init");
      return kDownloadCancelled;
    case kTimedOut:
      LogW(3, L"%s: InternetConnect() timed out", L"khdownload::Downloader::init");
      return kDownloadTimedOut;
    case kCompleted:
      break;
  }
  if (m_asyncError) {
    LogW(3, L"%s: InternetConnect() failed asynchronously, error %u", L"khdownload::Downloader::init",
         static_cast<DWORD>(m_asyncError));
    return kDownloadServerError;
  }
  m_hConnection = m_hLastCreated;
  return kDownloadOk;
}

Downloader::WaitResult Downloader::WaitForNetwork(HINTERNET handle, DWORD timeoutMs) {
  {
    AutoLock lock(m_lock);
    m_hWaitFor = handle;
    m_waitAny = handle == nullptr;  // a pending connect: its handle is not known yet
  }
  HANDLE events[2] = {m_hRequestComplete, m_hAbort};
  DWORD r = WaitForMultipleObjects(2, events, FALSE, timeoutMs);
  if (r == WAIT_OBJECT_0) return kCompleted;
  if (r == WAIT_OBJECT_0 + 1) return kAborted;
  return kTimedOut;
}

void Downloader::AbandonPendingRead() {
  // WinINet may still fill the buffer of a read we stopped waiting for; the
  // registry frees it once the request handle is reported closing.
  if (!m_readPending) return;
  m_readPending = false;
  if (m_hRequest) {
    LiveDownloaderRegistry::ParkBuffer(m_hRequest, m_buffer);
    m_buffer = nullptr;
  } else {
    m_buffer = nullptr;  // no handle to wait for: leave it to WinINet rather than free it
  }
}

void Downloader::CloseRequest(HINTERNET& request) {
  if (!request) return;
  if (request == m_hRequest) AbandonPendingRead();
  InternetCloseHandle(request);
  if (request == m_hRequest) m_hRequest = nullptr;
  request = nullptr;
}

void Downloader::CloseHandles() {
  LogW(5, L"%s: ", L"khdownload::Downloader::CloseHandles");
  if (m_hRequest) {
    HINTERNET request = m_hRequest;
    CloseRequest(request);
  }
  if (m_hSession) {
    InternetSetStatusCallbackW(m_hSession, nullptr);
  }
  if (m_hConnection) {
    InternetCloseHandle(m_hConnection);
    m_hConnection = nullptr;
  }
  if (m_hSession) {
    InternetCloseHandle(m_hSession);
    m_hSession = nullptr;
  }
  {
    AutoLock lock(m_lock);
    if (m_hAbort) {
      CloseHandle(m_hAbort);
      m_hAbort = nullptr;
    }
  }
  {
    // A late notification may be about to set this event.
    AutoLock lock(m_lock);
    if (m_hRequestComplete) {
      CloseHandle(m_hRequestComplete);
      m_hRequestComplete = nullptr;
    }
    m_hWaitFor = nullptr;
    m_waitAny = false;
  }
  m_getLength = -1;
}

std::wstring Downloader::StatusTextToWide(LPVOID information, DWORD length) {
  if (!information || length == 0) return std::wstring();
  const char* narrow = static_cast<const char*>(information);
  DWORD narrowLength = 0;
  while (narrowLength < length && narrow[narrowLength]) ++narrowLength;
  if (narrowLength + 1 == length) {
    std::wstring text;
    for (DWORD i = 0; i < narrowLength; ++i) text += static_cast<wchar_t>(static_cast<unsigned char>(narrow[i]));
    return text;
  }
  const wchar_t* wide = static_cast<const wchar_t*>(information);
  DWORD maxChars = length / sizeof(wchar_t);
  DWORD wideLength = 0;
  while (wideLength < maxChars && wide[wideLength]) ++wideLength;
  return std::wstring(wide, wideLength);
}

void Downloader::statusCallbackInternal(HINTERNET handle, DWORD status, LPVOID information, DWORD length) {
  switch (status) {
    case INTERNET_STATUS_RESOLVING_NAME: {
      // Taken through the narrow-or-wide test as well: not every WinINet
      // hands a wide text to a wide callback here.
      std::wstring name = StatusTextToWide(information, length);
      AutoLock lock(m_lock);
      m_resolvingName = name;
      break;
    }
    case INTERNET_STATUS_NAME_RESOLVED: {
      std::wstring address = StatusTextToWide(information, length);
      AutoLock lock(m_lock);
      m_serverAddress = address;
      break;
    }
    case INTERNET_STATUS_CONNECTED_TO_SERVER: {
      m_serverReached = true;
      std::wstring address = StatusTextToWide(information, length);
      AutoLock lock(m_lock);
      m_serverAddress = address;
      break;
    }
    case INTERNET_STATUS_HANDLE_CREATED:
      if (information && length >= sizeof(INTERNET_ASYNC_RESULT))
        m_hLastCreated = reinterpret_cast<HINTERNET>(static_cast<INTERNET_ASYNC_RESULT*>(information)->dwResult);
      break;
    case INTERNET_STATUS_HANDLE_CLOSING:
      if (m_hSafeToDeleteObject) SetEvent(m_hSafeToDeleteObject);
      break;
    case INTERNET_STATUS_REQUEST_COMPLETE: {
      // A late completion of a request given up earlier must not end the
      // wait of the current one (or touch an event that is being closed).
      AutoLock lock(m_lock);
      if (!m_waitAny && (!m_hWaitFor || handle != m_hWaitFor)) break;
      const INTERNET_ASYNC_RESULT* result = static_cast<const INTERNET_ASYNC_RESULT*>(information);
      if (result && result->dwResult) {
        m_asyncError = 0;
      } else {
        DWORD error = result ? result->dwError : ERROR_INTERNET_INTERNAL_ERROR;
        LogW(3, L"%s: Request failed, error code %u", L"khdownload::Downloader::statusCallbackInternal", error);
        m_asyncError = error ? error : ERROR_INTERNET_INTERNAL_ERROR;
      }
      if (m_hRequestComplete) SetEvent(m_hRequestComplete);
      break;
    }
    default:
      break;
  }
}

HINTERNET Downloader::OpenRequest(const wchar_t* verb, bool direct) {
  HINTERNET request =
      direct ? ::HttpOpenRequestW(m_hConnection, verb, m_urlPath.c_str(), nullptr, nullptr, nullptr, kRequestFlags,
                                  reinterpret_cast<DWORD_PTR>(this))
             : m_wininet->HttpOpenRequestW(m_hConnection, verb, m_urlPath.c_str(), nullptr, nullptr, nullptr,
                                           kRequestFlags, reinterpret_cast<DWORD_PTR>(this));
  if (request) SetRequestTimeouts(request);
  return request;
}

void Downloader::SetRequestTimeouts(HINTERNET request) {
  // Our own waits decide about time-outs. WinINet's limits (which work only
  // on request handles) are set above them, so that a read we gave up on
  // still ends some time and lets its handle close.
  DWORD limit = static_cast<DWORD>(m_timeoutMs) * 2;
  if (limit < kSendWaitMs * 2) limit = kSendWaitMs * 2;
  InternetSetOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &limit, sizeof limit);
  InternetSetOptionW(request, INTERNET_OPTION_SEND_TIMEOUT, &limit, sizeof limit);
}

int Downloader::TrySendRequest(HINTERNET request, const std::wstring& headers) {
  LogW(5, L"%s: ", L"khdownload::Downloader::TrySendRequest");
  if (!request) return kDownloadUnrecognized;
  // An abort that came while an earlier request of this transfer was
  // answered must stop the next one here; once sent it reaches the server.
  if (IsAbortSet()) {
    LogW(4, L"%s: Request cancelled before sending", L"khdownload::Downloader::TrySendRequest");
    return kDownloadCancelled;
  }
  ResetEvent(m_hRequestComplete);
  SetWaitHandle(request);
  m_asyncError = 0;
  BOOL sent = m_wininet->HttpSendRequestW(request, headers.empty() ? nullptr : headers.c_str(),
                                          static_cast<DWORD>(headers.size()), nullptr, 0);
  // An answer, whatever its status, means the server was reached. The
  // connected notification alone misses this when WinINet reuses a pooled
  // connection of an earlier session.
  if (sent) {
    m_serverReached = true;
    return kDownloadOk;
  }
  DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) {
    LogW(3, L"%s: HttpSendRequest() failed, error %u", L"khdownload::Downloader::TrySendRequest", error);
    return kDownloadServerError;
  }
  switch (WaitForNetwork(request, kSendWaitMs)) {
    case kAborted:
      LogW(4, L"%s: Request cancelled", L"khdownload::Downloader::TrySendRequest");
      return kDownloadCancelled;
    case kTimedOut:
      LogW(3, L"%s: HttpSendRequest() timed out", L"khdownload::Downloader::TrySendRequest");
      return kDownloadTimedOut;
    case kCompleted:
      break;
  }
  if (m_asyncError) {
    LogW(3, L"%s: HttpSendRequest() failed asynchronously, error %u", L"khdownload::Downloader::TrySendRequest",
         static_cast<DWORD>(m_asyncError));
    return kDownloadServerError;
  }
  m_serverReached = true;
  return kDownloadOk;
}

bool Downloader::TryProxy() {
  LogW(5, L"%s: ", L"khdownload::Downloader::TryProxy");
  if (m_proxy.empty()) return false;
  INTERNET_PER_CONN_OPTIONW options[2];
  options[0].dwOption = INTERNET_PER_CONN_FLAGS;
  options[0].Value.dwValue = PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY;
  options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  options[1].Value.pszValue = const_cast<wchar_t*>(m_proxy.c_str());
  INTERNET_PER_CONN_OPTION_LISTW list;
  list.dwSize = sizeof list;
  list.pszConnection = nullptr;
  list.dwOptionCount = 2;
  list.dwOptionError = 0;
  list.pOptions = options;
  if (InternetSetOptionW(m_hSession, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, sizeof list)) return true;
  LogW(3, L"%s: Set proxy failed!(%s) (%d)", L"khdownload::Downloader::TryProxy", m_proxy.c_str(),
       static_cast<int>(GetLastError()));
  return false;
}

int Downloader::doHTTPHead(const std::wstring& headers, DWORD& status, DWORD& contentLength,
                           std::wstring& lastModified) {
  LogW(5, L"%s: ", L"khdownload::Downloader::doHTTPHead");
  HINTERNET request = OpenRequest(L"HEAD", false);
  if (!request) {
    LogW(3, L"%s: Open Request Error %u", L"khdownload::Downloader::doHTTPHead", GetLastError());
    return kDownloadServerError;
  }
  int result = TrySendRequest(request, headers);
  if (result == kDownloadServerError) {
    if (!TryProxy()) {
      CloseRequest(request);
      return kDownloadServerError;
    }
    result = TrySendRequest(request, headers);
  }
  if (result != kDownloadOk) {
    CloseRequest(request);
    return result;
  }
  DWORD size = sizeof status;
  if (!m_wininet->HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                                 nullptr)) {
    LogW(3, L"%s: Query statusCode failed, error %u", L"khdownload::Downloader::doHTTPHead", GetLastError());
    contentLength = static_cast<DWORD>(-1);
    lastModified.clear();
    CloseRequest(request);
    return kDownloadServerError;
  }
  if (status == HTTP_STATUS_NOT_FOUND) {
    CloseRequest(request);
    return kDownloadNotFound;
  }
  size = sizeof contentLength;
  if (!m_wininet->HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &contentLength,
                                 &size, nullptr)) {
    LogW(3, L"%s: Query Content length failed, error %u", L"khdownload::Downloader::doHTTPHead", GetLastError());
    contentLength = static_cast<DWORD>(-1);
    result = kDownloadServerError;
  }
  wchar_t text[100] = L"";
  size = sizeof text;
  if (m_wininet->HttpQueryInfoW(request, HTTP_QUERY_LAST_MODIFIED, text, &size, nullptr)) {
    lastModified.assign(text, wcsnlen(text, 99));
  } else {
    LogW(3, L"%s: HttpQueryInfoW Last Modified failed, error %u", L"khdownload::Downloader::doHTTPHead",
         GetLastError());
    lastModified.clear();
    result = kDownloadServerError;
  }
  CloseRequest(request);
  return result;
}

int Downloader::RefreshURLInfo() {
  LogW(5, L"%s: ", L"khdownload::Downloader::RefreshURLInfo");
  DWORD status = 0, length = 0;
  std::wstring lastModified;
  int result = doHTTPHead(std::wstring(), status, length, lastModified);
  if (result == kDownloadOk && status == HTTP_STATUS_OK) {
    m_current.contentLength = length;
    m_current.lastModified = lastModified;
  }
  return result;
}

int Downloader::GetURLInfo(const wchar_t* url, URLInfo* info) {
  LogW(5, L"%s: ", L"khdownload::Downloader::GetURLInfo");
  if (!url || !info) {
    LogW(2, L"%s: url invalid", L"khdownload::Downloader::GetURLInfo");
    CloseHandles();
    return kDownloadBadUrl;
  }
  int result = init(url);
  if (result != kDownloadOk) {
    LogW(1, L"%s: Initialization failed(%i)", L"khdownload::Downloader::GetURLInfo", result);
    CloseHandles();
    return result;
  }
  DWORD status = 0, length = 0;
  std::wstring lastModified;
  result = doHTTPHead(std::wstring(), status, length, lastModified);
  if (result == kDownloadOk) {
    if (status == HTTP_STATUS_OK) {
      if (lastModified.size() >= 512) {
        LogW(2, L"%s: Copying failed(%i)", L"khdownload::Downloader::GetURLInfo", 34);
        result = kDownloadNoMemory;
      } else {
        memcpy(info->lastModified, lastModified.c_str(), (lastModified.size() + 1) * sizeof(wchar_t));
        info->contentLength = length;
      }
    } else {
      result = kDownloadUnrecognized;
    }
  }
  CloseHandles();
  return result;
}

}  // namespace khdownload
