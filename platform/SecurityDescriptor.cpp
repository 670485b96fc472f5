// Security descriptors from SDDL, the administrator test, the user's SID
// text and taking ownership of a file.
#include "platform/SecurityDescriptor.h"

#include <sddl.h>

#include <memory>

namespace {

const wchar_t kEveryoneFull[] = L"D:(A;OICI;GA;;;WD)";
const wchar_t kRestricted[] =
    L"D:"
    L"(D;OICI;GA;;;AN)(D;OICI;GA;;;NU)(D;OICI;GA;;;LS)"
    L"(A;OICI;0x1200a9;;;BG)(A;OICI;0x1200a9;;;BU)"
    L"(A;OICI;GA;;;BA)(A;OICI;GA;;;LA)(A;OICI;GA;;;SY)";
const wchar_t kMutex[] =
    L"D:"
    L"(D;OICI;GA;;;AN)"
    L"(A;OICI;GA;;;BA)(A;OICI;GA;;;LA)(A;OICI;GA;;;SY)"
    L"(A;OICI;GRGWGX;;;AU)(A;OICI;GRGWGX;;;BU)(A;OICI;GRGWGX;;;BG)";
const wchar_t kStrictMutex[] =
    L"D:"
    L"(D;OICI;GA;;;BG)(D;OICI;GA;;;AN)(D;OICI;GA;;;NU)"
    L"(A;OICI;GA;;;BA)(A;OICI;GA;;;LA)(A;OICI;GA;;;SY)";

PSID AllocateAdministratorsSid() {
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                0, &sid)) {
    return nullptr;
  }
  return sid;
}

SECURITY_ATTRIBUTES* NewRecord() {
  SECURITY_ATTRIBUTES* record = new SECURITY_ATTRIBUTES;
  record->nLength = sizeof(SECURITY_ATTRIBUTES);
  record->lpSecurityDescriptor = nullptr;
  record->bInheritHandle = FALSE;
  return record;
}

}  // namespace

bool SecurityDescriptorHolder::FromSddl(const wchar_t* sddl, bool keepInheritance) {
  Reset();
  if (!sddl || !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                     &m_attributes->lpSecurityDescriptor, nullptr)) {
    Free();
    return false;
  }
  if (keepInheritance) return true;
  return SetSecurityDescriptorControl(m_attributes->lpSecurityDescriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED) != 0;
}

bool SecurityDescriptorHolder::SetEveryoneFullAccess() { return FromSddl(kEveryoneFull, false); }

bool SecurityDescriptorHolder::SetRestrictedAccess() { return FromSddl(kRestricted, false); }

bool SecurityDescriptorHolder::SetMutexAccess() { return FromSddl(kMutex, true); }

bool SecurityDescriptorHolder::SetStrictMutexAccess() { return FromSddl(kStrictMutex, true); }

void SecurityDescriptorHolder::Reset() {
  Free();
  m_attributes = NewRecord();
}

void SecurityDescriptorHolder::Free() {
  if (!m_attributes) return;
  if (m_attributes->lpSecurityDescriptor) LocalFree(m_attributes->lpSecurityDescriptor);
  delete m_attributes;
  m_attributes = nullptr;
}

bool SecurityDescriptorHolder::ApplyToFile(const wchar_t* path) const {
  if (!m_attributes || !m_attributes->lpSecurityDescriptor || !path) return false;
  return SetFileSecurityW(path, DACL_SECURITY_INFORMATION, m_attributes->lpSecurityDescriptor) != 0;
}

bool SecurityDescriptorHolder::ReadFromFile(const wchar_t* path) {
  if (!path) return false;
  Reset();
  if (GetFileSecurityW(path, DACL_SECURITY_INFORMATION, nullptr, 0, &m_attributes->nLength) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    Free();
    return false;
  }
  DWORD needed = m_attributes->nLength;
  m_attributes->lpSecurityDescriptor = LocalAlloc(LMEM_FIXED, needed);
  if (!m_attributes->lpSecurityDescriptor ||
      !GetFileSecurityW(path, DACL_SECURITY_INFORMATION, m_attributes->lpSecurityDescriptor, needed,
                        &m_attributes->nLength)) {
    Free();
    return false;
  }
  return true;
}

std::wstring PrivateFolderSddl(const std::wstring& userSid) {
  return L"D:(A;OICI;GA;;;" + userSid + L")(A;OICI;GA;;;BA)(A;OICI;GA;;;SY)";
}

bool BuildFileSecurity(SecurityDescriptorHolder& holder, bool administrator) {
  if (administrator) return holder.SetRestrictedAccess();
  // A process without administrator rights is usually the first one under
  // user-account control, whose folder holds the copy that is then started
  // elevated: only its own user (by the token's SID, which every Windows
  // version has), administrators and the system may touch it.
  std::wstring user;
  if (!GetCurrentUserSidString(user) || user.empty()) {
    holder.Free();
    return false;
  }
  return holder.FromSddl(PrivateFolderSddl(user).c_str(), false);
}

bool FileSecurity(const wchar_t* path) {
  SecurityDescriptorHolder holder;
  bool built = BuildFileSecurity(holder, IsAdministratorsMember());
  bool applied = built && path && holder.ApplyToFile(path);
  holder.Free();
  return applied;
}

bool IsUserAdmin() {
  PSID administrators = AllocateAdministratorsSid();
  if (!administrators) return false;
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  FreeSid(administrators);
  return member != FALSE;
}

bool IsAdministratorsMember() { return IsUserAdmin(); }

bool AdminCheck::IsAdmin() { return IsAdministratorsMember(); }

bool GetCurrentUserSidString(std::wstring& sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, nullptr, 0, &size) && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    CloseHandle(token);
    return false;
  }
  std::unique_ptr<BYTE[]> buffer(new BYTE[size ? size : 1]);
  BOOL queried = GetTokenInformation(token, TokenUser, buffer.get(), size, &size);
  CloseHandle(token);
  if (!queried) return false;
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid;
  if (!IsValidSid(user)) return false;
  wchar_t* text = nullptr;
  if (ConvertSidToStringSidW(user, &text)) {
    sid = text;
    LocalFree(text);
  }
  return true;
}

bool EnableTakeOwnershipPrivilege(HANDLE token) {
  TOKEN_PRIVILEGES privileges;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, L"SeTakeOwnershipPrivilege", &privileges.Privileges[0].Luid)) return false;
  // AdjustTokenPrivileges succeeds also when the privilege is not held; only
  // the last error tells (ERROR_NOT_ALL_ASSIGNED).
  if (!AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr)) return false;
  return GetLastError() == ERROR_SUCCESS;
}

OwnershipDescriptor::OwnershipDescriptor() : m_adminSid(AllocateAdministratorsSid()), m_token(nullptr) {
  InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&m_descriptor, TRUE, nullptr, FALSE);
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
  if (process) {
    if (!OpenProcessToken(process, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &m_token)) m_token = nullptr;
    CloseHandle(process);
  }
}

OwnershipDescriptor::~OwnershipDescriptor() {
  if (m_adminSid) FreeSid(m_adminSid);
  if (m_token) CloseHandle(m_token);
}

unsigned OwnershipDescriptor::ApplyToFile(const wchar_t* path) {
  if (!path || !m_token) return 2;
  if (SetFileSecurityW(path, DACL_SECURITY_INFORMATION, &m_descriptor)) return 0;
  if (!m_adminSid || !SetSecurityDescriptorOwner(&m_descriptor, m_adminSid, FALSE)) return 3;
  if (!SetFileSecurityW(path, OWNER_SECURITY_INFORMATION, &m_descriptor)) {
    if (!EnableTakeOwnershipPrivilege(m_token)) return 4;
    if (!SetFileSecurityW(path, OWNER_SECURITY_INFORMATION, &m_descriptor)) return 5;
  }
  return SetFileSecurityW(path, DACL_SECURITY_INFORMATION, &m_descriptor) ? 0 : 6;
}
