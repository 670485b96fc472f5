// Session look-up: the station and state rules on made-up session lists,
// and the real terminal-services answers inside Wine's single session.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>
#include <wtsapi32.h>

#include <string>

#include "platform/UserSessions.h"
#include "testsupport/TestEnv.h"

using namespace larktest;

namespace {

std::wstring ProcessUserSid() {
  HANDLE token = nullptr;
  std::wstring result;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return result;
  BYTE buffer[512];
  DWORD size = 0;
  if (GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size)) {
    wchar_t* text = nullptr;
    if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
      result = text;
      LocalFree(text);
    }
  }
  CloseHandle(token);
  return result;
}

}  // namespace

TEST(UserSessions, ActiveSessionRules) {
  wchar_t services[] = L"Services", lowerServices[] = L"services", console[] = L"Console",
          rdp[] = L"RDP-Tcp#3";
  WTS_SESSION_INFOW sessions[] = {
      {0, services, WTSActive},     {7, lowerServices, WTSActive}, {1, console, WTSActive},
      {2, rdp, WTSDisconnected},    {3, nullptr, WTSActive},       {4, rdp, WTSConnected},
  };
  const bool expected[] = {false, false, true, false, true, false};
  for (int i = 0; i < 6; ++i) {
    DWORD id = 12345;
    EXPECT_EQ(VerifySessionIsActive(i, id, sessions), expected[i]) << "entry " << i;
    EXPECT_EQ(id, sessions[i].SessionId) << "entry " << i;
  }
}

TEST(UserSessions, CurrentSessionUserName) {
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  wchar_t user[256];
  DWORD size = 256;
  ASSERT_TRUE(GetUserNameW(user, &size));
  std::wstring name = ReadFullUserNameFromWTS(session);
  // "DOMAIN\user" or the user name alone, whichever the platform gives.
  ASSERT_FALSE(name.empty());
  size_t slash = name.find(L'\\');
  std::wstring userPart = slash == std::wstring::npos ? name : name.substr(slash + 1);
  EXPECT_EQ(userPart, user);
}

TEST(UserSessions, CurrentSessionSidIsTheProcessUsersSid) {
  DWORD session = 0;
  ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
  EXPECT_EQ(FindUserSessionSID(session), ProcessUserSid());
}

TEST(UserSessions, LoggedInUserIsEmptyOrTheProcessUser) {
  // Whatever the platform's session list holds, the answer is either empty
  // or the SID of a real user, and under Wine that is the one user there is.
  std::wstring sid = FindLoggedInUserSessionSID();
  if (!sid.empty()) {
    EXPECT_EQ(sid, ProcessUserSid());
  }
  WTS_SESSION_INFOW* sessions = nullptr;
  DWORD count = 0;
  if (WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count)) {
    bool anyActive = false;
    for (DWORD i = 0; i < count; ++i) {
      DWORD id = 0;
      anyActive = anyActive || VerifySessionIsActive(static_cast<int>(i), id, sessions);
    }
    if (sessions) WTSFreeMemory(sessions);
    if (!anyActive) {
      EXPECT_EQ(sid, L"");
    }
    RecordProperty("sessions", static_cast<int>(count));
  }
}
