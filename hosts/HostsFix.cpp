#include "hosts/HostsFix.h"

#include <exception>

#include "hosts/HostsFile.h"
#include "hosts/HostsFileChecker.h"
#include "logging/Log.h"

namespace khhosts {

int HostsFix::hostsFileNeedsRepair() {
  const wchar_t* name = L"HostsFix::hostsFileNeedsRepair";
  LogW(5, L"%s: ", name);
  File hosts(m_path.hostsFile());
  if (!hosts.exists()) {
    LogW(3, L"%s: Hosts file %s does not exist", name, hosts.path().c_str());
    return kIsCorrect;
  }
  Lines lines;
  if (hosts.content(lines) != FileReaderWriter::kDone) {
    LogW(2, L"%s: Cannot read %s file content!", name, hosts.path().c_str());
    return kCannotRead;
  }
  if (m_analyzer.fixContent(lines, nullptr, nullptr) > 0) {
    LogW(3, L"%s: File %s needs repair!", name, hosts.path().c_str());
    return kNeedsRepair;
  }
  LogW(5, L"%s: File %s is correct", name, hosts.path().c_str());
  return kIsCorrect;
}

int HostsFix::fixHostsFile() {
  const wchar_t* name = L"HostsFix::fixHostsFile";
  LogW(5, L"%s: ", name);
  File hosts(m_path.hostsFile());
  if (!hosts.exists()) {
    LogW(3, L"%s: Hosts file %s does not exist", name, hosts.path().c_str());
    return kNothingFixed;
  }
  Lines lines;
  std::string original;
  if (hosts.content(lines, &original) != FileReaderWriter::kDone) {
    LogW(2, L"%s: Cannot read %s file content!", name, hosts.path().c_str());
    return kFixFailed;
  }
  return processContent(lines, original);
}

int HostsFix::processContent(const Lines& lines, const std::string& original) {
  const wchar_t* name = L"HostsFix::processContent";
  LogW(5, L"%s: ", name);
  Lines kept;
  if (m_analyzer.fixContent(lines, &kept, nullptr) == 0) {
    LogW(5, L"%s: File does not need to be fixed", name);
    return kNothingFixed;
  }
  // The backup is the old file byte for byte, whatever its line ends.
  File backup(m_path.backupFile());
  // A backup left read-only by an earlier repair would otherwise make this
  // one go ahead without a copy of the old file.
  if (backup.isReadOnly()) backup.setReadOnly(false);
  if (backup.setBytes(original) != FileReaderWriter::kDone)
    LogW(2, L"%s: Cannot save backup to %s", name, backup.path().c_str());
  File hosts(m_path.hostsFile());
  int written = hosts.setContent(kept);
  if (written != FileReaderWriter::kDone) {
    LogW(2, L"%s: File %s cannot be fixed!", name, hosts.path().c_str());
    // A write that failed half-way may have left a cut-off file; one that
    // could not open the file has changed nothing.
    if (written == FileReaderWriter::kWriteFailed && hosts.setBytes(original) != FileReaderWriter::kDone)
      LogW(1, L"%s: Cannot restore the content of %s", name, hosts.path().c_str());
    return kFixFailed;
  }
  LogW(5, L"%s: File %s has been repaired", name, hosts.path().c_str());
  return kFixed;
}

}  // namespace khhosts

namespace {

int HostsFileNeedsRepairInternal(khhosts::HostsFileChecker& checker) {
  int result = checker.NeedsRepair();
  LogW(5, L"%s: Returned %d", L"`anonymous-namespace'::HostsFileNeedsRepairInternal", result);
  switch (result) {
    case khhosts::kNeedsRepair:
      return kHostsNeedsRepair;
    case khhosts::kIsCorrect:
      return kHostsCorrect;
    default:
      return kHostsUnreadable;
  }
}

int FixFileInternal(khhosts::HostsFileChecker& checker) {
  int result = checker.Fix();
  LogW(5, L"%s: Returned %d", L"`anonymous-namespace'::FixFileInternal", result);
  switch (result) {
    case khhosts::kNothingFixed:
      return kHostsNothingToFix;
    case khhosts::kFixed:
      return kHostsRepaired;
    default:
      return kHostsFixFailed;
  }
}

// Nothing may escape the flat interface: an exception (out of memory on a
// huge file) is reported as the failure code.
int CheckWithWords(const wchar_t** words, int count) {
  try {
    khhosts::HostsFileChecker checker;
    if (words) checker.SetWords(words, count);
    return HostsFileNeedsRepairInternal(checker);
  } catch (const std::exception&) {
    LogW(2, L"%s: Unexpected exception", L"HostsFileNeedsRepair");
    return kHostsUnreadable;
  }
}

int FixWithWords(const wchar_t** words, int count) {
  try {
    khhosts::HostsFileChecker checker;
    if (words) checker.SetWords(words, count);
    return FixFileInternal(checker);
  } catch (const std::exception&) {
    LogW(2, L"%s: Unexpected exception", L"FixFile");
    return kHostsFixFailed;
  }
}

}  // namespace

int HostsFileNeedsRepair() { return CheckWithWords(nullptr, 0); }

int HostsFileNeedsRepairEx(const wchar_t** words, int count) { return CheckWithWords(words, count); }

int FixFile() { return FixWithWords(nullptr, 0); }

int FixFileEx(const wchar_t** words, int count) { return FixWithWords(words, count); }
