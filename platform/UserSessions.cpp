#include "platform/UserSessions.h"

#include <sddl.h>

#include "logging/Log.h"

std::wstring FindLoggedInUserSessionSID() {
  const wchar_t* const self = L"FindLoggedInUserSessionSID";
  LogW(5, L"%s: ", self);
  WTS_SESSION_INFOW* sessions = nullptr;
  DWORD count = 0;
  if (!WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
    LogW(3, L"%s: Failed to enumerate sessions with error %d", self, static_cast<int>(GetLastError()));
    return std::wstring();
  }
  LogW(5, L"%s: WTSEnumerateSessions() returned %d sessions", self, static_cast<int>(count));
  std::wstring sid;
  for (DWORD i = 0; i < count && sessions != nullptr; ++i) {
    DWORD sessionId = 0;
    if (!VerifySessionIsActive(static_cast<int>(i), sessionId, sessions)) continue;
    LogW(5, L"%s: Found active session %d", self, static_cast<int>(sessionId));
    sid = FindUserSessionSID(sessionId);
    if (!sid.empty()) break;
  }
  if (sessions != nullptr) WTSFreeMemory(sessions);
  LogW(5, L"%s: Active user sid %s", self, sid.c_str());
  return sid;
}

bool VerifySessionIsActive(int index, DWORD& sessionId, const WTS_SESSION_INFOW* sessions) {
  const wchar_t* const self = L"VerifySessionIsActive";
  LogW(5, L"%s: ", self);
  const WTS_SESSION_INFOW& session = sessions[index];
  sessionId = session.SessionId;
  LogW(5, L"%s: Session %d state is %d", self, static_cast<int>(session.SessionId),
       static_cast<int>(session.State));
  if (session.pWinStationName != nullptr && lstrcmpiW(session.pWinStationName, L"Services") == 0) {
    LogW(5, L"%s: Session %d is the isolated System session", self, static_cast<int>(session.SessionId));
    return false;
  }
  return session.State == WTSActive;
}

std::wstring FindUserSessionSID(DWORD sessionId) {
  const wchar_t* const self = L"FindUserSessionSID";
  LogW(5, L"%s: ", self);
  std::wstring name = ReadFullUserNameFromWTS(sessionId);
  if (name.empty()) return std::wstring();

  BYTE sid[2048];
  DWORD sidSize = 2047;
  wchar_t domain[2048];
  DWORD domainSize = 2048;
  SID_NAME_USE use;
  if (!LookupAccountNameW(nullptr, name.c_str(), sid, &sidSize, domain, &domainSize, &use)) {
    LogW(3, L"%s: LookupAccountName failed for user %s with LE=%d", self, name.c_str(),
         static_cast<int>(GetLastError()));
    return std::wstring();
  }
  LogW(4, L"%s: LookupAccountName returned SID with domain=%s", self, domain);

  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) {
    LogW(3, L"%s: ConvertSidToStringSidW failed for user %s with LE=%d", self, name.c_str(),
         static_cast<int>(GetLastError()));
    return std::wstring();
  }
  LogW(4, L"%s: SID converted to %s", self, text);
  std::wstring result(text);
  LocalFree(text);
  return result;
}

std::wstring ReadFullUserNameFromWTS(DWORD sessionId) {
  const wchar_t* const self = L"ReadFullUserNameFromWTS";
  LogW(5, L"%s: ", self);
  wchar_t* user = nullptr;
  DWORD bytes = 0;
  if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, sessionId, WTSUserName, &user, &bytes)) {
    LogW(3, L"%s: Failed to WTSQuerySessionInformation(%d, WTSUserName). LE=0x%x", self,
         static_cast<int>(sessionId), static_cast<unsigned>(GetLastError()));
    return std::wstring();
  }
  if (user == nullptr || user[0] == L'\0') {
    if (user != nullptr) WTSFreeMemory(user);
    LogW(3, L"%s: There is no logged on user in session %d. Ignoring session.", self,
         static_cast<int>(sessionId));
    return std::wstring();
  }
  std::wstring userName(user);
  WTSFreeMemory(user);

  wchar_t* domain = nullptr;
  bytes = 0;
  if (WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, sessionId, WTSDomainName, &domain, &bytes) &&
      domain != nullptr && domain[0] != L'\0') {
    std::wstring full = std::wstring(domain) + L"\\" + userName;
    WTSFreeMemory(domain);
    LogW(4, L"%s: Session full user name: %s", self, full.c_str());
    return full;
  }
  DWORD error = GetLastError();
  if (domain != nullptr) WTSFreeMemory(domain);
  LogW(3, L"%s: Cannot get domain name. WTSQuerySessionInformation(%d, WTSDomainName). LE=0x%x. Return only user name",
       self, static_cast<int>(sessionId), static_cast<unsigned>(error));
  return userName;
}
