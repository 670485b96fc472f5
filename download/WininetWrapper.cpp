#include "download/WininetWrapper.h"

namespace khdownload {

HINTERNET WininetWrapper::HttpOpenRequestW(HINTERNET connection, LPCWSTR verb, LPCWSTR object, LPCWSTR version,
                                           LPCWSTR referrer, LPCWSTR* acceptTypes, DWORD flags, DWORD_PTR context) {
  return ::HttpOpenRequestW(connection, verb, object, version, referrer, acceptTypes, flags, context);
}

BOOL WininetWrapper::HttpSendRequestW(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional,
                                      DWORD optionalLength) {
  return ::HttpSendRequestW(request, headers, headersLength, optional, optionalLength);
}

BOOL WininetWrapper::HttpQueryInfoW(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength,
                                    LPDWORD index) {
  return ::HttpQueryInfoW(request, infoLevel, buffer, bufferLength, index);
}

HINTERNET WininetWrapper::InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR proxyBypass,
                                        DWORD flags) {
  return ::InternetOpenW(agent, accessType, proxy, proxyBypass, flags);
}

}  // namespace khdownload
