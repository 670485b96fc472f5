// Helpers for the logging tests: a private logging key per test, the log
// file of a log name, and log files read back as lines.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace logtest {

const wchar_t kLoggingKey[] = L"SOFTWARE\\K-Harbor\\BCX\\Logging";

// HKLM\SOFTWARE\K-Harbor\BCX\Logging\<product>\<logName>, created empty and
// removed (with the product key when it was created here) by the destructor.
class LoggingKey {
 public:
  LoggingKey(const std::wstring& product, const std::wstring& logName);
  ~LoggingKey();
  LoggingKey(const LoggingKey&) = delete;
  LoggingKey& operator=(const LoggingKey&) = delete;

  void SetDword(const wchar_t* name, DWORD value);
  void SetProductDword(const wchar_t* name, DWORD value);
  void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size);

 private:
  std::wstring m_productKey;
  std::wstring m_logKey;
  bool m_createdProduct = false;
};

// The log file of the product "Lark" and the log name, as the logger builds it.
std::wstring LogPath(const std::wstring& logName);

// LogPath with any files of that name removed first: process ids, and so
// unique names, repeat across runs in a new prefix.
std::wstring FreshLogPath(const std::wstring& logName);

// Deletes the log, its numbered files and its delete names.
void RemoveLogFiles(const std::wstring& path);

// The file's text after the FF FE mark split at CR LF (the last, empty
// piece dropped); false when the file is missing or lacks the mark.
bool ReadLogLines(const std::wstring& path, std::vector<std::wstring>& lines);

struct ParsedLine {
  std::wstring tag;
  std::wstring text;
  DWORD processId = 0;
  DWORD threadId = 0;
};

// Splits a line of the form "YYYY-MM-DD hh:mm:ss.mmm [pid.tid] TG: text".
bool ParseLine(const std::wstring& line, ParsedLine& parsed);

// The lines of a log file as "tag text" (" I text", "*E text"), header
// fields left out; empty when the file is missing.
std::vector<std::wstring> ReadLogTexts(const std::wstring& path);

std::string WithMark(const std::wstring& text);

}  // namespace logtest
