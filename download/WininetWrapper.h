// Forwards the WinINet calls of session set-up and the HEAD requests, so
// that tests can stand in for them.
#pragma once

#include <windows.h>
#include <wininet.h>

namespace khdownload {

class WininetWrapper {
 public:
  virtual ~WininetWrapper() {}
  virtual HINTERNET HttpOpenRequestW(HINTERNET connection, LPCWSTR verb, LPCWSTR object, LPCWSTR version,
                                     LPCWSTR referrer, LPCWSTR* acceptTypes, DWORD flags, DWORD_PTR context);
  virtual BOOL HttpSendRequestW(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional,
                                DWORD optionalLength);
  virtual BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength,
                              LPDWORD index);
  virtual HINTERNET InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR proxyBypass, DWORD flags);
};

}  // namespace khdownload
