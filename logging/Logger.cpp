#include "logging/Logger.h"

#include <stdlib.h>
#include <wchar.h>

#include <memory>
#include <new>
#include <string>

#include "logging/LogFormat.h"
#include "logging/LogSettings.h"

namespace KhBcxLogging {

namespace {

const wchar_t kProductName[] = L"Lark";
const int kDefaultLevel = 4;
const DWORD kDefaultRotateCount = 2;
const DWORD kDefaultMaxSizeKB = 100;
const size_t kFirstCapacity = 2048;
const size_t kCapacityLimit = 262143;
// The fixed part of a line: the time stamp (24), the ids with their
// brackets and blank (up to 8 + 1 + 8 + 3), the tag with ": " (4), CR LF
// and the terminating null.
const size_t kLineOverhead = 64;

// Keeps the caller's last error across a logging call, also when an
// exception passes.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : m_error(GetLastError()) {}
  ~LastErrorKeeper() { SetLastError(m_error); }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

 private:
  DWORD m_error;
};

class LockGuard {
 public:
  explicit LockGuard(CRITICAL_SECTION& lock) : m_lock(lock) { EnterCriticalSection(&m_lock); }
  ~LockGuard() { LeaveCriticalSection(&m_lock); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  CRITICAL_SECTION& m_lock;
};

wchar_t* CopyString(const wchar_t* text) {
  size_t length = wcslen(text);
  wchar_t* copy = new wchar_t[length + 1];
  wmemcpy(copy, text, length + 1);
  return copy;
}

// Kilobytes to bytes without wrapping: a huge setting means "no practical
// limit", not a tiny one.
DWORD KilobytesToBytes(DWORD kilobytes) {
  return kilobytes > 0xFFFFFFFFu / 1024 ? 0xFFFFFFFFu : kilobytes * 1024;
}

}  // namespace

const wchar_t* LevelTag(int level) {
  switch (level) {
    case 1: return L"*F";
    case 2: return L"*E";
    case 3: return L".W";
    case 4: return L" I";
    case 5: return L" D";
    case 6: return L" V";
    default: return L"  ";
  }
}

void FormatStartBanner(wchar_t* out, size_t capacity, DWORD timeZoneResult, const TIME_ZONE_INFORMATION& zone,
                       DWORD session) {
  if (timeZoneResult == TIME_ZONE_ID_INVALID) {
    FormatW(out, capacity, L"***  LOGGING STARTED  *** (UTC+??:??, session: 0x%x)", session);
    return;
  }
  long offset = -zone.Bias;
  if (timeZoneResult == TIME_ZONE_ID_STANDARD) {
    offset = -(zone.Bias + zone.StandardBias);
  } else if (timeZoneResult == TIME_ZONE_ID_DAYLIGHT) {
    offset = -(zone.Bias + zone.DaylightBias);
  }
  int hours = static_cast<int>(offset / 60);
  int minutes = static_cast<int>(offset - 60 * hours);
  FormatW(out, capacity, L"***  LOGGING STARTED  *** (UTC%+02d:%02d, session: 0x%x)", hours, minutes, session);
}

Logger::Logger() : m_level(0), m_writer(nullptr), m_debugOutput(false), m_settings(new LoggerSettings()) {
  InitializeCriticalSection(&m_lock);
}

Logger::~Logger() {
  LastErrorKeeper keeper;
  Print(BannerLevel(), L"***  LOG AUTO-CLOSED ***");
  CloseFile();
  delete m_settings;
  DeleteCriticalSection(&m_lock);
}

FileLowLevel* Logger::CreateFileLowLevel() {
  return new FileLowLevel();
}

FileUtils* Logger::CreateFileUtils() {
  return new FileUtilsWin32();
}

void Logger::Open(const wchar_t* name) {
  Open(name, 0);
}

void Logger::Open(const wchar_t* name, int flags) {
  LastErrorKeeper keeper;
  if (!name) {
    return;
  }
  try {
    SetNames(name, flags);
  } catch (...) {
    // Logging never fails its caller; without memory there is no log.
  }
}

void Logger::Close() {
  LastErrorKeeper keeper;
  Print(BannerLevel(), L"***  LOGGING ENDED  ***");
  CloseFile();
}

void Logger::Print(int level, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  VPrint(level, format, args);
  va_end(args);
}

void Logger::VPrint(int level, const wchar_t* format, va_list args) {
  if (m_level.load(std::memory_order_relaxed) < level) {
    return;
  }
  LastErrorKeeper keeper;
  try {
    for (size_t capacity = kFirstCapacity; capacity <= kCapacityLimit; capacity *= 2) {
      std::unique_ptr<wchar_t[]> buffer(new wchar_t[capacity]);
      va_list copy;
      va_copy(copy, args);
      int length = VFormatW(buffer.get(), capacity, format, copy);
      va_end(copy);
      if (length >= 0) {
        WriteLine(level, buffer.get(), length);
        return;
      }
    }
    Print(2, L"KH_BCX_LOG failure: too large message, format: %s", format);
  } catch (...) {
    // A line that can't be written is lost; the caller never sees it.
  }
}

void Logger::VPrintA(int level, const char* format, va_list args) {
  if (m_level.load(std::memory_order_relaxed) < level) {
    return;
  }
  LastErrorKeeper keeper;
  try {
    for (size_t capacity = kFirstCapacity; capacity <= kCapacityLimit; capacity *= 2) {
      std::string buffer(capacity, '\0');
      va_list copy;
      va_copy(copy, args);
      int length = VFormatA(&buffer[0], capacity, format, copy);
      va_end(copy);
      if (length < 0) {
        continue;
      }
      size_t wideCapacity = 3 * static_cast<size_t>(length) + 3;
      std::wstring wide(wideCapacity, L'\0');
      int converted = MultiByteToWideChar(CP_ACP, 0, buffer.c_str(), length + 1, &wide[0],
                                          static_cast<int>(wideCapacity));
      if (converted == 0) {
        Print(2,
              L"KH_BCX_LOG failure: unable to convert from ANSI to UNICODE. Format (problem might be in "
              L"parameters too): %S",
              format);
        return;
      }
      WriteLine(level, wide.c_str(), static_cast<int>(wcslen(wide.c_str())));
      return;
    }
    Print(2, L"KH_BCX_LOG failure: too large (ANSI) message or unprintable characters, format: %S", format);
  } catch (...) {
    // As in VPrint: the line is lost, the caller never sees it.
  }
}

void Logger::WriteLine(int level, const wchar_t* text, int length) {
  LastErrorKeeper keeper;
  if (length < 0) {
    return;
  }
  SYSTEMTIME now;
  GetLocalTime(&now);
  size_t capacity = static_cast<size_t>(length) + kLineOverhead;
  std::unique_ptr<wchar_t[]> line(new (std::nothrow) wchar_t[capacity]);
  if (!line) {
    return;
  }
  int characters = FormatW(line.get(), capacity, L"%04d-%02d-%02d %02d:%02d:%02d.%03d [%04x.%04x] %s: %.*s\r\n",
                           now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                           now.wMilliseconds, static_cast<unsigned>(GetCurrentProcessId()),
                           static_cast<unsigned>(GetCurrentThreadId()), LevelTag(level), length, text);
  if (characters > 0) {
    WriteText(level, line.get(), characters);
  }
}

void Logger::WriteText(int level, const wchar_t* text, int characters) {
  LastErrorKeeper keeper;
  if (characters <= 0) {
    return;
  }
  if (m_settings->reloadNeeded.load()) {
    ApplySettings();
    if (m_level.load(std::memory_order_relaxed) < level) {
      return;
    }
  }
  if (m_debugOutput.load(std::memory_order_relaxed)) {
    // The text need not end in a null; the debugger output needs one.
    std::unique_ptr<wchar_t[]> copy(new (std::nothrow) wchar_t[static_cast<size_t>(characters) + 1]);
    if (copy) {
      wmemcpy(copy.get(), text, static_cast<size_t>(characters));
      copy[characters] = L'\0';
      OutputDebugStringW(copy.get());
    }
  }
  WriteRaw(text, characters * static_cast<int>(sizeof(wchar_t)));
}

void Logger::WriteNewLine(int level) {
  if (m_level.load(std::memory_order_relaxed) >= level) {
    WriteText(level, L"\r\n", 2);
  }
}

void Logger::WriteRaw(const void* bytes, int count) {
  LastErrorKeeper keeper;
  if (count <= 0) {
    return;
  }
  LockGuard lock(m_lock);
  if (m_writer) {
    m_writer->Write(bytes, static_cast<DWORD>(count));
  }
}

void Logger::SetNames(const wchar_t* name, int flags) {
  {
    LockGuard lock(m_lock);
    if (m_writer) {
      return;
    }
    // A log whose path could not be built has names but no writer; a new
    // open replaces them.
    delete[] m_settings->productName;
    delete[] m_settings->logName;
    m_settings->productName = nullptr;
    m_settings->logName = nullptr;
    m_settings->productName = CopyString(kProductName);
    m_settings->logName = CopyString(name);
    m_settings->defaultLevel = kDefaultLevel;
    m_settings->flags = flags;
    m_settings->reloadNeeded = true;
  }
  ApplySettings();
}

void Logger::ApplySettings() {
  {
    LockGuard lock(m_lock);
    if (!m_settings->reloadNeeded.load()) {
      return;
    }
    const wchar_t* product = m_settings->productName;
    const wchar_t* logName = m_settings->logName;
    m_debugOutput = ReadLoggingSetting(product, logName, L"DebugOutputLogging", 0) == 1;
    if (!m_writer) {
      m_level = static_cast<int>(
          ReadLoggingSetting(product, logName, L"LogLevel", static_cast<DWORD>(m_settings->defaultLevel)));
      wchar_t path[kLogPathCapacity];
      if (BuildLogFilePath(product, path, logName) > 0) {
        DWORD rotateCount = ReadLoggingSetting(product, logName, L"LogRotateCount", kDefaultRotateCount);
        DWORD sizeLimit = KilobytesToBytes(ReadLoggingSetting(product, logName, L"LogMaxSizeKB", kDefaultMaxSizeKB));
        try {
          std::unique_ptr<FileLowLevel> file(CreateFileLowLevel());
          std::unique_ptr<FileUtils> utils(CreateFileUtils());
          if (m_settings->flags & kFlagContinuousWriter) {
            m_writer = new FileAccessContinuous(rotateCount, sizeLimit, path, file.get(), utils.get());
          } else {
            m_writer = new FileAccessTransient(rotateCount, sizeLimit, path, file.get(), utils.get());
          }
          file.release();
          utils.release();
        } catch (...) {
          // Out of memory: no file, as when the path can't be built.
          m_writer = nullptr;
        }
      }
    }
    m_settings->reloadNeeded = false;
  }
  WriteStartBanner(BannerLevel());
}

void Logger::WriteStartBanner(int level) {
  LastErrorKeeper keeper;
  DWORD session = 0xDEADBEEF;
  DWORD actualSession = 0;
  if (ProcessIdToSessionId(GetCurrentProcessId(), &actualSession)) {
    session = actualSession;
  }
  TIME_ZONE_INFORMATION zone;
  DWORD zoneResult = GetTimeZoneInformation(&zone);
  WriteNewLine(level);
  wchar_t banner[128];
  FormatStartBanner(banner, _countof(banner), zoneResult, zone, session);
  Print(level, L"%s", banner);
}

void Logger::CloseFile() {
  LastErrorKeeper keeper;
  LockGuard lock(m_lock);
  delete m_writer;
  m_writer = nullptr;
  delete[] m_settings->productName;
  delete[] m_settings->logName;
  m_settings->productName = nullptr;
  m_settings->logName = nullptr;
  m_settings->defaultLevel = 0;
  m_settings->flags = 0;
  m_settings->reloadNeeded = false;
}

bool Logger::hasFile() {
  LockGuard lock(m_lock);
  return m_writer != nullptr;
}

int Logger::BannerLevel() const {
  return (m_settings->flags & kFlagDebugBanners) ? 5 : 4;
}

namespace {

// 0: not created, 1: being created, 2: ready, 3: deleted at process exit.
std::atomic<long> g_loggerState(0);

Logger*& LoggerInstanceSlot() {
  static Logger* instance = nullptr;
  return instance;
}

void DeleteLoggerInstance() {
  Logger* instance = LoggerInstanceSlot();
  // Lines logged by later exit-time code find no logger instead of a
  // deleted one.
  g_loggerState.store(3);
  LoggerInstanceSlot() = nullptr;
  delete instance;
}

Logger* CreateLoggerInstance() {
  Logger*& instance = LoggerInstanceSlot();
  if (!instance) {
    instance = new Logger();
    atexit(DeleteLoggerInstance);
  }
  return instance;
}

}  // namespace

Logger* GetLoggerInstance() {
  long state = g_loggerState.load(std::memory_order_acquire);
  if (state == 2) {
    return LoggerInstanceSlot();
  }
  if (state == 3) {
    return nullptr;
  }
  long expected = 0;
  if (g_loggerState.compare_exchange_strong(expected, 1)) {
    Logger* instance = CreateLoggerInstance();
    g_loggerState.store(2, std::memory_order_release);
    return instance;
  }
  while (true) {
    state = g_loggerState.load(std::memory_order_acquire);
    if (state == 2) {
      return LoggerInstanceSlot();
    }
    if (state == 3) {
      return nullptr;
    }
    SwitchToThread();
  }
}

}  // namespace KhBcxLogging
