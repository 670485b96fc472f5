// Test helper: sends the process's log to a private log file for the
// lifetime of the object and hands back the texts of its lines.
#pragma once

#include <string>
#include <vector>

#include "logging/Log.h"
#include "logging/tests/LogTestSupport.h"
#include "testsupport/TestEnv.h"

class PlatformLogCapture {
 public:
  PlatformLogCapture()
      : name_(larktest::UniqueName(L"platformlog_")), key_(L"Lark", name_), path_(logtest::FreshLogPath(name_)) {
    key_.SetDword(L"LogLevel", 6);
    LogInit(name_.c_str());
  }
  ~PlatformLogCapture() {
    LogClose();
    logtest::RemoveLogFiles(path_);
  }

  // Closes the log and returns "TG|text" for every line. A system error
  // text keeps its carriage return, which is dropped here; lines that do
  // not parse come back as "?|line".
  std::vector<std::wstring> Texts() {
    LogClose();
    std::vector<std::wstring> lines, texts;
    logtest::ReadLogLines(path_, lines);
    for (std::wstring line : lines) {
      if (line.empty()) continue;
      if (line.back() == L'\r') line.pop_back();
      logtest::ParsedLine parsed;
      texts.push_back(logtest::ParseLine(line, parsed) ? parsed.tag + L"|" + parsed.text : L"?|" + line);
    }
    return texts;
  }

 private:
  std::wstring name_;
  logtest::LoggingKey key_;
  std::wstring path_;
};
