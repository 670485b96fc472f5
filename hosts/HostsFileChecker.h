// One check or repair of the hosts file. Because the hosts file and its
// folder may be protected by their access lists and attributes, a repair
// first gives the folder and the file fixed access lists and clears the
// file's read-only, hidden and system attributes, and afterwards puts the
// saved access lists and attributes back.
#pragma once

#include <memory>
#include <string>

#include "hosts/HostsFile.h"
#include "hosts/HostsFix.h"
#include "platform/SecurityDescriptor.h"

namespace khhosts {

class HostsFileChecker {
 public:
  enum PermissionMode { kSetFixed = 0, kRestoreSaved = 1 };

  // Works on the folder that the registry names (else the default one),
  // looked up again for each permission step.
  HostsFileChecker();
  // Works on a folder fixed by the caller.
  explicit HostsFileChecker(const std::wstring& directory);
  ~HostsFileChecker();
  HostsFileChecker(const HostsFileChecker&) = delete;
  HostsFileChecker& operator=(const HostsFileChecker&) = delete;

  // count strings; null entries are skipped.
  void SetWords(const wchar_t** words, int count);

  // kNeedsRepair, kIsCorrect (also for a missing file) or kCannotRead.
  int NeedsRepair();
  // kNothingFixed, kFixed or kFixFailed (also when the saved access lists
  // or attributes could not be put back).
  int Fix();

  // kSetFixed saves the folder's and the file's access lists into
  // savedFolder and savedFile and the attributes into this object, then
  // applies the fixed ones (what it changed is put back when a later step
  // fails); kRestoreSaved puts the saved ones back (every step is tried).
  bool SetPermission(SecurityDescriptorHolder& savedFolder, SecurityDescriptorHolder& savedFile, int mode);
  // Applies the descriptor's access list, taking ownership of the path
  // when the first attempt fails.
  bool SetSddlAttributes(const SecurityDescriptorHolder& descriptor, const std::wstring& path);
  // Clears the read-only, hidden and system attributes (saving them), or
  // restores the saved ones.
  bool SetHostsFileAttributes(const File& file, bool restore);

 private:
  HostsPath permissionPath() const;
  bool setFixedPermissions(SecurityDescriptorHolder& savedFolder, SecurityDescriptorHolder& savedFile,
                           const HostsPath& path);
  bool restorePermissions(const SecurityDescriptorHolder& savedFolder, const SecurityDescriptorHolder& savedFile,
                          const HostsPath& path, bool attributes);

  std::unique_ptr<HostsFix> m_fix;
  bool m_fixedDirectory;
  bool m_readOnly = false;
  bool m_hidden = false;
  bool m_system = false;
};

}  // namespace khhosts
