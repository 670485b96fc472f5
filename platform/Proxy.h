// Gives the elevated installer the proxy setting of a logged-on user: the
// first profile under HKEY_USERS with an enabled, non-empty proxy server
// lends it to the current user's Internet Settings.
#pragma once

#include <windows.h>

// RestoreProxy(HKEY_USERS, HKEY_CURRENT_USER).
void RestoreProxy();
// The same over other roots: users holds one subkey per profile, each
// with Software\Microsoft\Windows\CurrentVersion\Internet Settings below;
// currentUser receives the setting.
void RestoreProxy(HKEY users, HKEY currentUser);
