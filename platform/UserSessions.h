// The user of the first active interactive session, found through the
// terminal-services API: an elevated installer may run under another account
// than the person at the machine. Every function returns an empty text
// instead of failing, and logs why.
#pragma once

#include <windows.h>
#include <wtsapi32.h>

#include <string>

// String SID of the user of the first active user session, or empty.
std::wstring FindLoggedInUserSessionSID();

// Sets sessionId from sessions[index]; true when that session is active and
// is not the isolated system session ("Services").
bool VerifySessionIsActive(int index, DWORD& sessionId, const WTS_SESSION_INFOW* sessions);

// String SID of the session's user, or empty.
std::wstring FindUserSessionSID(DWORD sessionId);

// "DOMAIN\user" of the session's user, the user name alone when the domain
// is not available, or empty.
std::wstring ReadFullUserNameFromWTS(DWORD sessionId);
