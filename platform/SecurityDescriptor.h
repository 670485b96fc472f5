// Access lists written in SDDL for what the installer creates (folders,
// mutexes, the handshake event, resume files), the administrator test, the
// current user's SID text, and the descriptor that takes ownership of a file
// before its access list is rewritten.
#pragma once

#include <windows.h>

#include <string>

// Owns at most one SECURITY_ATTRIBUTES record (length 12 on 32-bit builds,
// not inheritable) whose descriptor is a self-relative security descriptor
// from the local heap, ready to hand to CreateDirectoryW and friends. The
// user frees it with Free(); there is deliberately no destructor that does.
class SecurityDescriptorHolder {
 public:
  SecurityDescriptorHolder() : m_attributes(nullptr) {}

  // Converts SDDL text. keepInheritance false marks the access list
  // protected, so the object does not inherit entries from its parent. On
  // failure the holder is empty.
  bool FromSddl(const wchar_t* sddl, bool keepInheritance);
  // Everyone: all access (protected).
  bool SetEveryoneFullAccess();
  // Denies anonymous, network and local-service logons; guests and users read
  // and execute; administrators, local administrator and system all access
  // (protected).
  bool SetRestrictedAccess();
  // Administrators, local administrator and system all access; authenticated
  // users, users and guests read, write and execute; anonymous denied.
  bool SetMutexAccess();
  // Only administrators, local administrator and system; guests, anonymous
  // and network logons denied.
  bool SetStrictMutexAccess();

  // Frees what is held and holds a new record without a descriptor.
  void Reset();
  void Free();

  // SetFileSecurityW with the access list (DACL only).
  bool ApplyToFile(const wchar_t* path) const;
  // Reads the access list of an existing file or folder into the holder.
  bool ReadFromFile(const wchar_t* path);

  bool IsEmpty() const { return m_attributes == nullptr; }
  // The record, or null when empty.
  SECURITY_ATTRIBUTES* Attributes() const { return m_attributes; }
  PSECURITY_DESCRIPTOR Descriptor() const {
    return m_attributes ? m_attributes->lpSecurityDescriptor : nullptr;
  }

 private:
  SECURITY_ATTRIBUTES* m_attributes;
};

// The list of a folder private to one account: all access for the user
// whose SID text is given, the Administrators group and the system; no
// entry for anyone else. Built protected, it inherits nothing.
std::wstring PrivateFolderSddl(const std::wstring& userSid);
// The list FileSecurity applies: the restricted list for an administrator;
// otherwise the private list of the process token's user, so that no other
// account can change what the folder holds. False when it cannot be built
// (also when the user's SID cannot be read); the holder is then empty.
bool BuildFileSecurity(SecurityDescriptorHolder& holder, bool administrator);
// Restricts an existing file or folder with BuildFileSecurity's list for the
// process's administrator state.
bool FileSecurity(const wchar_t* path);

// Whether the process's token is a member of BUILTIN\Administrators (false
// for a non-elevated administrator under user-account control).
bool IsUserAdmin();
// The same test under the name its other callers use.
bool IsAdministratorsMember();

class AdminCheck {
 public:
  bool IsAdmin();
};

// The string form (S-1-...) of the process token's user SID.
bool GetCurrentUserSidString(std::wstring& sid);

// Enables SeTakeOwnershipPrivilege in token; true only when it was granted.
bool EnableTakeOwnershipPrivilege(HANDLE token);

// Gives a file a null access list (all access for everyone), taking
// ownership for the Administrators group first when that is needed.
class OwnershipDescriptor {
 public:
  OwnershipDescriptor();
  ~OwnershipDescriptor();
  OwnershipDescriptor(const OwnershipDescriptor&) = delete;
  OwnershipDescriptor& operator=(const OwnershipDescriptor&) = delete;

  // 0 done, 2 bad arguments (null path or no token), 3 setting the owner in
  // the descriptor failed, 4 enabling the take-ownership privilege failed,
  // 5 writing the owner to the file failed, 6 writing the access list after
  // the owner change failed.
  unsigned ApplyToFile(const wchar_t* path);

 private:
  SECURITY_DESCRIPTOR m_descriptor;
  PSID m_adminSid;
  HANDLE m_token;
};
