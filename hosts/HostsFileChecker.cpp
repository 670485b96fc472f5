#include "hosts/HostsFileChecker.h"

#include <exception>

#include "logging/Log.h"

namespace khhosts {

namespace {

// The hosts folder: the platform's installer service has full access, the
// system and administrators may modify the folder and have full access to
// what it holds, users may read and execute, a creator owner has full access
// to what it creates.
const wchar_t kFolderSddl[] =
    L"D:PAI"
    L"(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
    L"(A;CIIO;GA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
    L"(A;;0x1301bf;;;SY)"
    L"(A;OICIIO;GA;;;SY)"
    L"(A;;0x1301bf;;;BA)"
    L"(A;OICIIO;GA;;;BA)"
    L"(A;;0x1200a9;;;BU)"
    L"(A;OICIIO;GXGR;;;BU)"
    L"(A;OICIIO;GA;;;CO)";

// The hosts file: full access for the system and administrators, read and
// execute for users.
const wchar_t kFileSddl[] =
    L"D:AI"
    L"(A;ID;FA;;;SY)"
    L"(A;ID;FA;;;BA)"
    L"(A;ID;0x1200a9;;;BU)";

const wchar_t kSetPermission[] = L"HostsFileChecker::SetPermission";

bool ApplyFixed(HostsFileChecker& checker, const wchar_t* sddl, const std::wstring& path) {
  SecurityDescriptorHolder fixed;
  bool ok = fixed.FromSddl(sddl, false) && checker.SetSddlAttributes(fixed, path);
  fixed.Free();
  return ok;
}

}  // namespace

HostsFileChecker::HostsFileChecker() : m_fix(new HostsFix()), m_fixedDirectory(false) {}

HostsFileChecker::HostsFileChecker(const std::wstring& directory)
    : m_fix(new HostsFix(HostsPath(directory))), m_fixedDirectory(true) {}

HostsFileChecker::~HostsFileChecker() = default;

void HostsFileChecker::SetWords(const wchar_t** words, int count) {
  Lines list;
  for (int i = 0; words && i < count; ++i)
    if (words[i]) list.push_back(words[i]);
  m_fix->setWords(list);
}

int HostsFileChecker::NeedsRepair() { return m_fix->hostsFileNeedsRepair(); }

int HostsFileChecker::Fix() {
  const wchar_t* name = L"HostsFileChecker::Fix";
  LogW(5, L"%s: ", name);
  int result = kFixFailed;
  SecurityDescriptorHolder savedFolder, savedFile;
  if (SetPermission(savedFolder, savedFile, kSetFixed)) {
    // Whatever happens to the content, the access lists go back.
    try {
      result = m_fix->fixHostsFile();
    } catch (const std::exception&) {
      LogW(2, L"%s: Unexpected exception", name);
      result = kFixFailed;
    }
    if (!SetPermission(savedFolder, savedFile, kRestoreSaved)) result = kFixFailed;
  }
  savedFolder.Free();
  savedFile.Free();
  return result;
}

HostsPath HostsFileChecker::permissionPath() const { return m_fixedDirectory ? m_fix->path() : HostsPath(); }

bool HostsFileChecker::SetPermission(SecurityDescriptorHolder& savedFolder, SecurityDescriptorHolder& savedFile,
                                     int mode) {
  LogW(5, L"%s: ", kSetPermission);
  const HostsPath path = permissionPath();
  bool ok;
  if (mode == kSetFixed) {
    LogW(5, L"%s: Set permision for Administrator attributes", kSetPermission);
    ok = setFixedPermissions(savedFolder, savedFile, path);
  } else if (mode == kRestoreSaved) {
    LogW(5, L"%s: Set permision for Orginal attributes", kSetPermission);
    ok = restorePermissions(savedFolder, savedFile, path, true);
  } else {
    LogW(2, L"%s: Failed to fix attributes, permissions not to set", kSetPermission);
    return false;
  }
  if (ok) LogW(5, L"%s: Hosts file attributes are fixed", kSetPermission);
  return ok;
}

bool HostsFileChecker::setFixedPermissions(SecurityDescriptorHolder& savedFolder,
                                           SecurityDescriptorHolder& savedFile, const HostsPath& path) {
  const std::wstring folder = path.directory();
  const std::wstring file = path.hostsFile();
  if (!savedFolder.ReadFromFile(folder.c_str()) || !savedFile.ReadFromFile(file.c_str())) {
    LogW(2, L"%s: Failed to get SA etc or hosts file", kSetPermission);
    return false;
  }
  // From here on a failure puts back what was already changed, so that a
  // repair that cannot start leaves the folder and the file as they were.
  if (!ApplyFixed(*this, kFolderSddl, folder)) {
    LogW(2, L"%s: Failed to fix attributes of etc folder", kSetPermission);
    restorePermissions(savedFolder, savedFile, path, false);
    return false;
  }
  LogW(5, L"%s: Etc directory attributes are fixed", kSetPermission);
  if (!ApplyFixed(*this, kFileSddl, file)) {
    LogW(2, L"%s: Failed to fix attributes of hosts file", kSetPermission);
    restorePermissions(savedFolder, savedFile, path, false);
    return false;
  }
  if (!SetHostsFileAttributes(File(file), false)) {
    LogW(2, L"%s: Failed to fix attributes of hosts file", kSetPermission);
    restorePermissions(savedFolder, savedFile, path, true);
    return false;
  }
  return true;
}

bool HostsFileChecker::restorePermissions(const SecurityDescriptorHolder& savedFolder,
                                          const SecurityDescriptorHolder& savedFile, const HostsPath& path,
                                          bool attributes) {
  const std::wstring folder = path.directory();
  const std::wstring file = path.hostsFile();
  // Every step is tried even when an earlier one fails: one stuck attribute
  // must not leave the folder and the file with the fixed access lists.
  bool ok = true;
  if (attributes && !SetHostsFileAttributes(File(file), true)) {
    LogW(2, L"%s: Failed to fix attributes of hosts file", kSetPermission);
    ok = false;
  }
  if (!SetSddlAttributes(savedFolder, folder)) {
    LogW(2, L"%s: Failed to fix attributes of etc folder", kSetPermission);
    ok = false;
  } else {
    LogW(5, L"%s: Etc directory attributes are fixed", kSetPermission);
  }
  if (!SetSddlAttributes(savedFile, file)) {
    LogW(2, L"%s: Failed to fix attributes of hosts file", kSetPermission);
    ok = false;
  }
  return ok;
}

bool HostsFileChecker::SetSddlAttributes(const SecurityDescriptorHolder& descriptor, const std::wstring& path) {
  const wchar_t* name = L"HostsFileChecker::SetSddlAttributes";
  LogW(5, L"%s: ", name);
  // Taking ownership leaves a null access list behind, so it is only worth
  // it when there is a descriptor to write afterwards.
  if (descriptor.IsEmpty() || descriptor.Descriptor() == nullptr) {
    LogW(2, L"%s: Failed to set attributes for %s", name, path.c_str());
    return false;
  }
  if (!descriptor.ApplyToFile(path.c_str())) {
    OwnershipDescriptor ownership;
    unsigned code = ownership.ApplyToFile(path.c_str());
    if (code != 0) {
      LogW(2, L"%s: Failed to TakeOwnership for %s", name, path.c_str());
      return false;
    }
    if (!descriptor.ApplyToFile(path.c_str())) {
      LogW(2, L"%s: Failed to set attributes for %s", name, path.c_str());
      return false;
    }
  }
  LogW(5, L"%s: Attributes for %s has been set correctly", name, path.c_str());
  return true;
}

bool HostsFileChecker::SetHostsFileAttributes(const File& file, bool restore) {
  const wchar_t* name = L"HostsFileChecker::SetHostsFileAttributes";
  LogW(5, L"%s: ", name);
  const bool readOnly = file.isReadOnly();
  const bool hidden = file.isHidden();
  const bool system = file.isSystem();
  if (!restore) {
    m_readOnly = readOnly;
    m_hidden = hidden;
    m_system = system;
  }
  const bool wantReadOnly = restore && m_readOnly;
  const bool wantHidden = restore && m_hidden;
  const bool wantSystem = restore && m_system;
  if (readOnly != wantReadOnly && !file.setReadOnly(wantReadOnly)) {
    LogW(2, L"%s: Failed to change read only attribute of hosts file", name);
    return false;
  }
  if (hidden != wantHidden && !file.setHidden(wantHidden)) {
    LogW(2, L"%s: Failed to change hidden attributes of hosts file", name);
    return false;
  }
  if (system != wantSystem && !file.setSystem(wantSystem)) {
    LogW(2, L"%s: Failed to fix system attributes of hosts hosts file", name);
    return false;
  }
  return true;
}

}  // namespace khhosts
