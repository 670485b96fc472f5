#include "platform/WinShutdown.h"

#include "logging/Log.h"
#include "platform/PathUtils.h"

ShutdownApi DefaultShutdownApi() {
  ShutdownApi api;
  api.openThreadToken = &OpenThreadToken;
  api.openProcessToken = &OpenProcessToken;
  api.impersonateLoggedOnUser = &ImpersonateLoggedOnUser;
  api.revertToSelf = &RevertToSelf;
  api.lookupPrivilegeValue = &LookupPrivilegeValueW;
  api.adjustTokenPrivileges = &AdjustTokenPrivileges;
  api.exitWindowsEx = &ExitWindowsEx;
  return api;
}

ShutdownApi& CurrentShutdownApi() {
  static ShutdownApi api = DefaultShutdownApi();
  return api;
}

ShutdownPrivileges::ShutdownPrivileges()
    : m_obtained(false), m_token(nullptr), m_impersonating(false), m_previous(), m_previousLength(0) {
  LogW(5, L"%s: ", L"ShutdownPrivileges::ShutdownPrivileges");
  GetShutdownPrivileges();
}

ShutdownPrivileges::~ShutdownPrivileges() { ReleasePrivileges(); }

void ShutdownPrivileges::GetShutdownPrivileges() {
  const wchar_t* name = L"ShutdownPrivileges::GetShutdownPrivileges";
  LogW(5, L"%s: ", name);
  ShutdownApi& api = CurrentShutdownApi();
  const DWORD access = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;
  if (!api.openThreadToken(GetCurrentThread(), access, TRUE, &m_token)) {
    m_token = nullptr;
    LogW(5, L"%s: Failed to open thread token, try to impersonate process token to thread", name);
    HANDLE processToken = nullptr;
    if (api.openProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY,
                             &processToken)) {
      if (api.impersonateLoggedOnUser(processToken)) {
        LogW(5, L"%s: Thread now impersonates process", name);
        m_impersonating = true;
      }
      CloseHandle(processToken);
    }
    if (m_impersonating) {
      if (!api.openThreadToken(GetCurrentThread(), access, TRUE, &m_token)) {
        m_token = nullptr;
        LogW(3, L"%s: Failed to open thread token: %s", name, FormatLastError().c_str());
        return;
      }
    } else if (!api.openProcessToken(GetCurrentProcess(), access, &m_token)) {
      m_token = nullptr;
      LogW(3, L"%s: Failed to open process token: %s", name, FormatLastError().c_str());
      return;
    }
  }
  TOKEN_PRIVILEGES wanted = {};
  wanted.PrivilegeCount = 1;
  wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!api.lookupPrivilegeValue(nullptr, L"SeShutdownPrivilege", &wanted.Privileges[0].Luid)) {
    LogW(3, L"%s: Failed to look up shutdown privilege LUID: %s", name, FormatLastError().c_str());
    return;
  }
  m_previousLength = 0;
  SetLastError(ERROR_SUCCESS);
  BOOL adjusted = api.adjustTokenPrivileges(m_token, FALSE, &wanted, sizeof(m_previous), &m_previous,
                                            &m_previousLength);
  // A token without the privilege "succeeds" with ERROR_NOT_ALL_ASSIGNED
  // and nothing enabled; that is no success for a restart.
  if (adjusted && GetLastError() != ERROR_NOT_ALL_ASSIGNED) {
    LogW(5, L"%s: Got privileges", name);
    m_obtained = true;
  } else {
    if (adjusted) SetLastError(ERROR_NOT_ALL_ASSIGNED);
    LogW(3, L"%s: Failed to adjust thread token privileges: %s", name, FormatLastError().c_str());
  }
}

void ShutdownPrivileges::ReleasePrivileges() {
  LogW(5, L"%s: ", L"ShutdownPrivileges::ReleasePrivileges");
  ShutdownApi& api = CurrentShutdownApi();
  if (m_obtained) {
    LogW(5, L"%s: Releasing privileges", L"ShutdownPrivileges::ReleasePrivileges");
    api.adjustTokenPrivileges(m_token, FALSE, &m_previous, 0, nullptr, nullptr);
    m_obtained = false;
  }
  if (m_impersonating) {
    api.revertToSelf();
    m_impersonating = false;
  }
  if (m_token) {
    CloseHandle(m_token);
    m_token = nullptr;
  }
}

bool WinShutdown::Restart() {
  LogW(5, L"%s: ", L"WinShutdown::Restart");
  LogW(3, L"%s: Triggering EWX_REBOOT for computer", L"WinShutdown::Restart");
  ShutdownPrivileges privileges;
  if (!privileges.Obtained()) {
    privileges.ReleasePrivileges();
    return false;
  }
  const DWORD reason = SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION;
  bool accepted = CurrentShutdownApi().exitWindowsEx(EWX_REBOOT, reason) != FALSE;
  privileges.ReleasePrivileges();
  return accepted;
}
