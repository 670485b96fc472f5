// Check and repair of the system's hosts file: an active line that names
// the maker is corrupted, and the repair saves the old file as "hosts.bak"
// beside it and rewrites the file without those lines.
//
// The flat functions are the library's interface for the installer; each
// call is independent and finds the hosts folder afresh.
#pragma once

#include <string>

#include "hosts/ContentAnalyzer.h"
#include "hosts/HostsPath.h"

// Results of HostsFileNeedsRepair(Ex).
enum HostsCheckResult {
  kHostsNeedsRepair = 1,
  kHostsCorrect = 2,  // also when there is no hosts file
  kHostsUnreadable = 4,
};

// Results of FixFile(Ex).
enum HostsFixResult {
  kHostsNothingToFix = 0,
  kHostsRepaired = 3,
  kHostsFixFailed = 4,
};

int HostsFileNeedsRepair();
// words: count extra words (null entries and empty words are ignored); they
// match in any letter case of the file but only when given in upper case.
int HostsFileNeedsRepairEx(const wchar_t** words, int count);
int FixFile();
int FixFileEx(const wchar_t** words, int count);

namespace khhosts {

// Results of HostsFix::hostsFileNeedsRepair.
enum NeedsRepairResult { kNeedsRepair = 0, kIsCorrect = 1, kCannotRead = 2 };
// Results of HostsFix::fixHostsFile and HostsFix::processContent.
enum FixResult { kNothingFixed = 0, kFixed = 1, kFixFailed = 2 };

class HostsFix {
 public:
  HostsFix() = default;
  explicit HostsFix(const HostsPath& path) : m_path(path) {}

  void setWords(const Lines& words) { m_analyzer.setWords(words); }
  const HostsPath& path() const { return m_path; }

  int hostsFileNeedsRepair();
  int fixHostsFile();
  // lines: the file's lines; original: its bytes, written unchanged as the
  // backup. When the rewrite fails the original bytes are put back.
  int processContent(const Lines& lines, const std::string& original);

 private:
  HostsPath m_path;
  ContentAnalyzer m_analyzer;
};

}  // namespace khhosts
