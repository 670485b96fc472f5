// Shared by the new-operator and data-centre tests: the log of one test
// read back as "tag text" lines, and a way into StubProgram's state.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "installer/StubProgram.h"
#include "logging/Log.h"
#include "logging/tests/LogTestSupport.h"
#include "testsupport/TestEnv.h"

class StubProgramTestAccess {
 public:
  static void SetLicenseTermsHash(StubProgram& p, const std::wstring& hash) { p.m_licenseTermsHash = hash; }
  static void SetSilent(StubProgram& p, bool silent) { p.m_silent = silent; }
};

namespace operatortest {

// Logs this process at level 5 into a log of its own while it lives;
// Lines() ends the log and returns its lines as "tag text" (" D text").
class CapturedLog {
 public:
  CapturedLog()
      : m_name(larktest::UniqueName(L"operator_log_")), m_key(L"Lark", m_name), m_path(Prepare(m_key, m_name)) {
    LogInit(m_name.c_str());
  }
  ~CapturedLog() {
    if (!m_closed) LogClose();
    logtest::RemoveLogFiles(m_path);
  }
  CapturedLog(const CapturedLog&) = delete;
  CapturedLog& operator=(const CapturedLog&) = delete;

  std::vector<std::wstring> Lines() {
    if (!m_closed) LogClose();
    m_closed = true;
    std::vector<std::wstring> raw, texts;
    logtest::ReadLogLines(m_path, raw);
    for (const std::wstring& line : raw) {
      logtest::ParsedLine parsed;
      if (logtest::ParseLine(line, parsed)) texts.push_back(parsed.tag + L" " + parsed.text);
    }
    return texts;
  }

 private:
  static std::wstring Prepare(logtest::LoggingKey& key, const std::wstring& name) {
    key.SetDword(L"LogLevel", 5);
    return logtest::FreshLogPath(name);
  }

  std::wstring m_name;
  logtest::LoggingKey m_key;
  std::wstring m_path;
  bool m_closed = false;
};

// The lines of `lines` that contain `part`, in order.
inline std::vector<std::wstring> Matching(const std::vector<std::wstring>& lines, const std::wstring& part) {
  std::vector<std::wstring> found;
  for (const std::wstring& line : lines) {
    if (line.find(part) != std::wstring::npos) found.push_back(line);
  }
  return found;
}

inline bool Contains(const std::vector<std::wstring>& lines, const std::wstring& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace operatortest
