// Restarting the computer when an installation asks for it, with the
// scoped holder of the shutdown privilege. The platform calls go through a
// replaceable table so that tests can stand in for them without a restart.
#pragma once

#include <windows.h>

struct ShutdownApi {
  BOOL(WINAPI* openThreadToken)(HANDLE thread, DWORD access, BOOL openAsSelf, HANDLE* token);
  BOOL(WINAPI* openProcessToken)(HANDLE process, DWORD access, HANDLE* token);
  BOOL(WINAPI* impersonateLoggedOnUser)(HANDLE token);
  BOOL(WINAPI* revertToSelf)();
  BOOL(WINAPI* lookupPrivilegeValue)(LPCWSTR system, LPCWSTR name, LUID* luid);
  BOOL(WINAPI* adjustTokenPrivileges)(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* state, DWORD length,
                                      TOKEN_PRIVILEGES* previous, DWORD* returnLength);
  BOOL(WINAPI* exitWindowsEx)(UINT flags, DWORD reason);
};

// The system's own functions.
ShutdownApi DefaultShutdownApi();
// The table that WinShutdown and ShutdownPrivileges call (tests replace it).
ShutdownApi& CurrentShutdownApi();

// Holds the shutdown privilege for its lifetime; may make the thread
// impersonate the process token and always reverts before it ends.
class ShutdownPrivileges {
 public:
  ShutdownPrivileges();
  ~ShutdownPrivileges();
  ShutdownPrivileges(const ShutdownPrivileges&) = delete;
  ShutdownPrivileges& operator=(const ShutdownPrivileges&) = delete;

  void GetShutdownPrivileges();
  void ReleasePrivileges();
  bool Obtained() const { return m_obtained; }
  bool Impersonating() const { return m_impersonating; }

 private:
  bool m_obtained;
  HANDLE m_token;
  bool m_impersonating;
  TOKEN_PRIVILEGES m_previous;
  DWORD m_previousLength;
};

namespace WinShutdown {
// Asks the platform to restart the computer; true when it accepted.
bool Restart();
}
