// The process-wide logger: turns printf-style messages into time-stamped
// UTF-16LE lines, filters them by level, mirrors them to the debugger when
// configured and hands whole lines to the file writer under its lock.
//
// A line looks like
//   2026-01-31 12:00:00.123 [0a1c.0b2f]  I: Class::Method: text
// and a call whose level is filtered out costs one comparison.
#pragma once

#include <windows.h>

#include <stdarg.h>

#include <atomic>

#include "logging/FileAccess.h"
#include "logging/FileLowLevel.h"
#include "logging/FileUtils.h"

namespace KhBcxLogging {

struct LoggerSettings {
  wchar_t* productName;
  wchar_t* logName;
  int defaultLevel;
  // Bit 0: single-process writer; bit 1: banners at level 5 instead of 4.
  int flags;
  std::atomic<bool> reloadNeeded;
};

const int kFlagContinuousWriter = 1;
const int kFlagDebugBanners = 2;

class Logger {
 public:
  Logger();
  virtual ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // Factories that equip a new file writer; tests override them.
  virtual FileLowLevel* CreateFileLowLevel();
  virtual FileUtils* CreateFileUtils();

  // Opens the log <name>.log of the product "Lark" and writes the start
  // banner; has no effect while a log file is open.
  void Open(const wchar_t* name);
  // Open with writer flags (kFlagContinuousWriter, kFlagDebugBanners).
  void Open(const wchar_t* name, int flags);
  // Writes the end banner and closes the file.
  void Close();

  void Print(int level, const wchar_t* format, ...);
  void VPrint(int level, const wchar_t* format, va_list args);
  void VPrintA(int level, const char* format, va_list args);
  // One line with the time, process and thread ids and the level's tag.
  void WriteLine(int level, const wchar_t* text, int length);
  // Text as given, without a line header.
  void WriteText(int level, const wchar_t* text, int characters);
  void WriteNewLine(int level);
  void WriteRaw(const void* bytes, int count);

  void SetNames(const wchar_t* name, int flags);
  void ApplySettings();
  void WriteStartBanner(int level);
  void CloseFile();

  int level() const { return m_level.load(std::memory_order_relaxed); }
  bool hasFile();

 private:
  int BannerLevel() const;

  std::atomic<int> m_level;
  FileAccessBase* m_writer;
  std::atomic<bool> m_debugOutput;
  CRITICAL_SECTION m_lock;
  LoggerSettings* m_settings;
};

// The tag that a line of the level carries: "*F", "*E", ".W", " I", " D",
// " V", two blanks for any other level.
const wchar_t* LevelTag(int level);

// The start banner's text for a GetTimeZoneInformation result, e.g.
// "***  LOGGING STARTED  *** (UTC+2:00, session: 0x1)". The minutes carry
// the offset's sign, so -210 minutes print as UTC-3:-30.
void FormatStartBanner(wchar_t* out, size_t capacity, DWORD timeZoneResult, const TIME_ZONE_INFORMATION& zone,
                       DWORD session);

// The process-wide logger, created on first use and deleted at process
// exit; null once it has been deleted.
Logger* GetLoggerInstance();

}  // namespace KhBcxLogging
