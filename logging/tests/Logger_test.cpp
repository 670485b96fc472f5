// The logger against the real registry and log files of the test prefix:
// each test opens its own Logger under a unique log name.
#include "logging/Logger.h"

#include <gtest/gtest.h>

#include <stdint.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "logging/Log.h"
#include "logging/tests/LogTestSupport.h"
#include "testsupport/TestEnv.h"

using KhBcxLogging::Logger;
using logtest::ParsedLine;

namespace {

class LoggerTest : public ::testing::Test {
 protected:
  LoggerTest()
      : m_name(larktest::UniqueName(L"loggertest_")), m_key(L"Lark", m_name), m_path(logtest::FreshLogPath(m_name)) {
    // Large enough that no test here rotates.
    m_key.SetDword(L"LogMaxSizeKB", 100000);
  }
  ~LoggerTest() override { logtest::RemoveLogFiles(m_path); }

  std::vector<std::wstring> Lines() {
    std::vector<std::wstring> lines;
    EXPECT_TRUE(logtest::ReadLogLines(m_path, lines)) << larktest::Narrow(m_path);
    return lines;
  }

  // The texts of the lines that carry a header, with their tags.
  std::vector<ParsedLine> Parsed() {
    std::vector<ParsedLine> parsed;
    for (const auto& line : Lines()) {
      ParsedLine p;
      if (logtest::ParseLine(line, p)) {
        parsed.push_back(p);
      }
    }
    return parsed;
  }

  bool FileHasText(const std::wstring& text) {
    for (const auto& p : Parsed()) {
      if (p.text == text) return true;
    }
    return false;
  }

  std::wstring m_name;
  logtest::LoggingKey m_key;
  std::wstring m_path;
};

void PrintA(Logger& logger, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  logger.VPrintA(level, format, args);
  va_end(args);
}

TEST_F(LoggerTest, WritesBannersAndLinesInTheLineFormat) {
  ASSERT_FALSE(m_path.empty());
  {
    Logger logger;
    logger.Open(m_name.c_str());
    logger.Print(4, L"%s: hello %d", L"Test::Method", 42);
    PrintA(logger, 4, "Compilation time: %s %s", "Jan  1 2026", "10:00:00");
    logger.Close();
  }
  std::vector<std::wstring> lines = Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], L"");  // a bare CR LF before the start banner
  std::vector<ParsedLine> parsed;
  for (size_t i = 1; i < lines.size(); ++i) {
    ParsedLine p;
    ASSERT_TRUE(logtest::ParseLine(lines[i], p)) << larktest::Narrow(lines[i]);
    EXPECT_EQ(p.tag, L" I");
    EXPECT_EQ(p.processId, GetCurrentProcessId());
    EXPECT_EQ(p.threadId, GetCurrentThreadId());
    parsed.push_back(p);
  }
  EXPECT_EQ(parsed[0].text.rfind(L"***  LOGGING STARTED  *** (UTC", 0), 0u) << larktest::Narrow(parsed[0].text);
  EXPECT_NE(parsed[0].text.find(L", session: 0x"), std::wstring::npos);
  EXPECT_EQ(parsed[1].text, L"Test::Method: hello 42");
  EXPECT_EQ(parsed[2].text, L"Compilation time: Jan  1 2026 10:00:00");
  EXPECT_EQ(parsed[3].text, L"***  LOGGING ENDED  ***");
  // The tag " I" follows the bracket after one blank.
  EXPECT_NE(lines[2].find(L"]  I: Test::Method"), std::wstring::npos);
}

TEST_F(LoggerTest, TagsEveryLevelAndFiltersAboveTheSetting) {
  m_key.SetDword(L"LogLevel", 100);
  {
    Logger logger;
    logger.Open(m_name.c_str());
    for (int level : {1, 2, 3, 4, 5, 6, 7, 0, -3}) {
      logger.Print(level, L"%s: level %d", L"Test::Tags", level);
    }
    logger.Print(101, L"%s: filtered", L"Test::Tags");
    logger.Close();
  }
  struct {
    int level;
    const wchar_t* tag;
  } const expected[] = {{1, L"*F"}, {2, L"*E"}, {3, L".W"}, {4, L" I"}, {5, L" D"},
                        {6, L" V"}, {7, L"  "}, {0, L"  "}, {-3, L"  "}};
  std::vector<ParsedLine> parsed = Parsed();
  ASSERT_EQ(parsed.size(), 2 + sizeof(expected) / sizeof(expected[0]));
  for (size_t i = 0; i < sizeof(expected) / sizeof(expected[0]); ++i) {
    EXPECT_EQ(parsed[i + 1].text, L"Test::Tags: level " + std::to_wstring(expected[i].level));
    EXPECT_EQ(parsed[i + 1].tag, expected[i].tag) << expected[i].level;
  }
}

TEST_F(LoggerTest, LevelSettingBelowBannersWritesOnlyPassingLines) {
  m_key.SetDword(L"LogLevel", 3);
  {
    Logger logger;
    logger.Open(m_name.c_str());
    EXPECT_EQ(logger.level(), 3);
    logger.Print(4, L"%s: info", L"Test::Filter");
    logger.Print(3, L"%s: warning", L"Test::Filter");
    // A filtered call formats nothing: this argument would crash %s.
    logger.Print(5, L"%s: %s", L"Test::Filter", reinterpret_cast<const wchar_t*>(static_cast<uintptr_t>(1)));
    logger.Close();
  }
  std::vector<std::wstring> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);  // no blank line, no banners
  ParsedLine p;
  ASSERT_TRUE(logtest::ParseLine(lines[0], p));
  EXPECT_EQ(p.tag, L".W");
  EXPECT_EQ(p.text, L"Test::Filter: warning");
}

TEST_F(LoggerTest, WritesNothingBeforeOpen) {
  Logger logger;
  EXPECT_EQ(logger.level(), 0);
  logger.Print(0, L"%s: level zero passes the check", L"Test::BeforeOpen");
  logger.Print(1, L"%s: fatal", L"Test::BeforeOpen");
  EXPECT_FALSE(logger.hasFile());
  EXPECT_EQ(GetFileAttributesW(m_path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LoggerTest, SecondOpenKeepsTheFirstLogAndWritesNoBanner) {
  std::wstring otherName = larktest::UniqueName(L"loggertest_other_");
  std::wstring otherPath = logtest::FreshLogPath(otherName);
  {
    Logger logger;
    logger.Open(m_name.c_str());
    logger.Open(otherName.c_str());
    logger.Print(4, L"%s: after second open", L"Test::Reopen");
    logger.Close();
  }
  EXPECT_EQ(GetFileAttributesW(otherPath.c_str()), INVALID_FILE_ATTRIBUTES);
  int banners = 0;
  for (const auto& p : Parsed()) {
    banners += p.text.rfind(L"***  LOGGING STARTED", 0) == 0;
  }
  EXPECT_EQ(banners, 1);
  EXPECT_TRUE(FileHasText(L"Test::Reopen: after second open"));
}

TEST_F(LoggerTest, AfterCloseLinesReachNoFileAndReopenStartsAgain) {
  std::wstring otherName = larktest::UniqueName(L"loggertest_next_");
  logtest::LoggingKey otherKey(L"Lark", otherName);
  std::wstring otherPath = logtest::FreshLogPath(otherName);
  {
    Logger logger;
    logger.Open(m_name.c_str());
    logger.Close();
    EXPECT_FALSE(logger.hasFile());
    logger.Print(4, L"%s: while closed", L"Test::Closed");
    logger.Open(otherName.c_str());
    logger.Print(4, L"%s: second log", L"Test::Closed");
  }
  EXPECT_FALSE(FileHasText(L"Test::Closed: while closed"));
  std::vector<std::wstring> lines;
  ASSERT_TRUE(logtest::ReadLogLines(otherPath, lines));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], L"");
  EXPECT_NE(lines[1].find(L"***  LOGGING STARTED  ***"), std::wstring::npos);
  EXPECT_NE(lines[2].find(L"Test::Closed: second log"), std::wstring::npos);
  // Not closed: the destructor closes it at "process exit".
  EXPECT_NE(lines[3].find(L"***  LOG AUTO-CLOSED ***"), std::wstring::npos);
  logtest::RemoveLogFiles(otherPath);
}

TEST_F(LoggerTest, DebugBannerFlagMovesBannersToLevelFive) {
  struct Case {
    DWORD levelSetting;
    size_t expectedLines;
  } const cases[] = {{4, 1}, {5, 4}};
  for (const Case& c : cases) {
    m_key.SetDword(L"LogLevel", c.levelSetting);
    {
      Logger logger;
      logger.Open(m_name.c_str(), KhBcxLogging::kFlagDebugBanners);
      logger.Print(4, L"%s: line", L"Test::Flags");
      logger.Close();
    }
    std::vector<std::wstring> lines = Lines();
    ASSERT_EQ(lines.size(), c.expectedLines) << c.levelSetting;
    for (const auto& line : lines) {
      ParsedLine p;
      if (logtest::ParseLine(line, p) && p.text.find(L"***") == 0) {
        EXPECT_EQ(p.tag, L" D") << larktest::Narrow(line);
      }
    }
    logtest::RemoveLogFiles(m_path);
  }
}

TEST_F(LoggerTest, ContinuousWriterFlagWritesTheSameFile) {
  {
    Logger logger;
    logger.Open(m_name.c_str(), KhBcxLogging::kFlagContinuousWriter);
    logger.Print(4, L"%s: single process", L"Test::Continuous");
    logger.Close();
  }
  EXPECT_TRUE(FileHasText(L"Test::Continuous: single process"));
}

TEST_F(LoggerTest, MessagesUpToTheLargestBufferAreWrittenWhole) {
  const size_t sizes[] = {2047, 2048, 131071};
  {
    Logger logger;
    logger.Open(m_name.c_str());
    for (size_t size : sizes) {
      std::wstring text(size, L'x');
      logger.Print(4, L"%s", text.c_str());
    }
    logger.Close();
  }
  std::vector<ParsedLine> parsed = Parsed();
  ASSERT_EQ(parsed.size(), 2 + sizeof(sizes) / sizeof(sizes[0]));
  for (size_t i = 0; i < sizeof(sizes) / sizeof(sizes[0]); ++i) {
    EXPECT_EQ(parsed[i + 1].text.size(), sizes[i]);
  }
}

TEST_F(LoggerTest, OverlongMessagesBecomeFailureLines) {
  std::wstring longText(131072, L'y');
  std::wstring longFormat(140000, L'z');
  {
    Logger logger;
    logger.Open(m_name.c_str());
    logger.Print(4, L"%s", longText.c_str());
    logger.Print(4, longFormat.c_str());
    std::string ansiText(131072, 'a');
    PrintA(logger, 4, "%s", ansiText.c_str());
    logger.Close();
  }
  std::vector<ParsedLine> parsed = Parsed();
  ASSERT_EQ(parsed.size(), 5u);
  EXPECT_EQ(parsed[1].tag, L"*E");
  EXPECT_EQ(parsed[1].text, L"KH_BCX_LOG failure: too large message, format: %s");
  // The format itself overflows, so the failure line quotes the failure's own format.
  EXPECT_EQ(parsed[2].tag, L"*E");
  EXPECT_EQ(parsed[2].text,
            L"KH_BCX_LOG failure: too large message, format: KH_BCX_LOG failure: too large message, format: %s");
  EXPECT_EQ(parsed[3].tag, L"*E");
  EXPECT_EQ(parsed[3].text, L"KH_BCX_LOG failure: too large (ANSI) message or unprintable characters, format: %s");
}

TEST_F(LoggerTest, FailureLinesAreFilteredLikeAnyOther) {
  m_key.SetDword(L"LogLevel", 1);
  std::wstring longText(131072, L'y');
  {
    Logger logger;
    logger.Open(m_name.c_str());
    logger.Print(1, L"%s", longText.c_str());
    logger.Print(1, L"%s: kept", L"Test::Fatal");
    logger.Close();
  }
  std::vector<ParsedLine> parsed = Parsed();
  ASSERT_EQ(parsed.size(), 1u);
  EXPECT_EQ(parsed[0].text, L"Test::Fatal: kept");
}

TEST_F(LoggerTest, EveryEntryKeepsTheCallersLastError) {
  const DWORD kError = 0x1234ABCD;
  Logger logger;
  std::wstring longText(131072, L'y');
  struct Step {
    const char* what;
    std::function<void()> call;
  } const steps[] = {
      {"Open", [&] { logger.Open(m_name.c_str()); }},
      {"Print", [&] { logger.Print(4, L"%s: written", L"Test::LastError"); }},
      {"Print filtered", [&] { logger.Print(6, L"%s: filtered", L"Test::LastError"); }},
      {"Print too large", [&] { logger.Print(4, L"%s", longText.c_str()); }},
      {"VPrintA", [&] { PrintA(logger, 4, "%s: %d", "Test::LastError", 7); }},
      {"WriteNewLine", [&] { logger.WriteNewLine(4); }},
      {"Close", [&] { logger.Close(); }},
      {"Print closed", [&] { logger.Print(4, L"%s: closed", L"Test::LastError"); }},
  };
  for (const Step& step : steps) {
    SetLastError(kError);
    step.call();
    EXPECT_EQ(GetLastError(), kError) << step.what;
  }
  EXPECT_TRUE(FileHasText(L"Test::LastError: written"));
  EXPECT_TRUE(FileHasText(L"Test::LastError: 7"));
}

TEST_F(LoggerTest, ThreadsOfOneProcessNeverSplitALine) {
  const int kThreads = 4;
  const int kLines = 300;
  {
    Logger logger;
    logger.Open(m_name.c_str());
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&logger, t] {
        for (int i = 0; i < kLines; ++i) {
          logger.Print(4, L"%s: thread %d line %d", L"Test::Threads", t, i);
        }
      });
    }
    for (auto& thread : threads) thread.join();
    logger.Close();
  }
  std::vector<std::wstring> lines = Lines();
  std::vector<std::vector<bool>> seen(kThreads, std::vector<bool>(kLines, false));
  size_t headerLines = 0;
  for (const auto& line : lines) {
    ParsedLine p;
    if (line.empty()) continue;
    ASSERT_TRUE(logtest::ParseLine(line, p)) << larktest::Narrow(line);
    ++headerLines;
    int t = -1, i = -1;
    if (swscanf(p.text.c_str(), L"Test::Threads: thread %d line %d", &t, &i) == 2) {
      ASSERT_TRUE(t >= 0 && t < kThreads && i >= 0 && i < kLines);
      EXPECT_FALSE(seen[t][i]);
      seen[t][i] = true;
    }
  }
  EXPECT_EQ(headerLines, 2u + kThreads * kLines);
}

TEST(LoggerBannerTest, FormatsTheTimeZoneOffset) {
  struct Case {
    DWORD result;
    LONG bias;
    LONG standardBias;
    LONG daylightBias;
    const wchar_t* expected;
  } const cases[] = {
      {TIME_ZONE_ID_UNKNOWN, -120, 0, 0, L"(UTC+2:00, session: 0x1)"},
      {TIME_ZONE_ID_UNKNOWN, 0, 0, 0, L"(UTC+0:00, session: 0x1)"},
      {TIME_ZONE_ID_UNKNOWN, -330, 0, 0, L"(UTC+5:30, session: 0x1)"},
      {TIME_ZONE_ID_UNKNOWN, 210, 0, 0, L"(UTC-3:-30, session: 0x1)"},
      {TIME_ZONE_ID_STANDARD, -60, 0, -60, L"(UTC+1:00, session: 0x1)"},
      {TIME_ZONE_ID_STANDARD, 300, 0, -60, L"(UTC-5:00, session: 0x1)"},
      {TIME_ZONE_ID_DAYLIGHT, 300, 0, -60, L"(UTC-4:00, session: 0x1)"},
      {TIME_ZONE_ID_DAYLIGHT, -60, 0, -60, L"(UTC+2:00, session: 0x1)"},
      {TIME_ZONE_ID_INVALID, -60, 0, 0, L"(UTC+??:??, session: 0x1)"},
  };
  for (const Case& c : cases) {
    TIME_ZONE_INFORMATION zone = {};
    zone.Bias = c.bias;
    zone.StandardBias = c.standardBias;
    zone.DaylightBias = c.daylightBias;
    wchar_t text[128];
    KhBcxLogging::FormatStartBanner(text, 128, c.result, zone, 1);
    EXPECT_EQ(std::wstring(text), std::wstring(L"***  LOGGING STARTED  *** ") + c.expected);
  }
  TIME_ZONE_INFORMATION zone = {};
  wchar_t text[128];
  KhBcxLogging::FormatStartBanner(text, 128, TIME_ZONE_ID_UNKNOWN, zone, 0xDEADBEEF);
  EXPECT_EQ(std::wstring(text), L"***  LOGGING STARTED  *** (UTC+0:00, session: 0xdeadbeef)");
}

TEST(LoggerSingletonTest, EveryThreadGetsTheSameInstance) {
  const int kThreads = 8;
  std::vector<Logger*> seen(kThreads, nullptr);
  std::atomic<bool> go(false);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go) std::this_thread::yield();
      seen[t] = KhBcxLogging::GetLoggerInstance();
    });
  }
  go = true;
  for (auto& thread : threads) thread.join();
  ASSERT_NE(seen[0], nullptr);
  for (Logger* logger : seen) EXPECT_EQ(logger, seen[0]);
  EXPECT_EQ(GetLogger(), seen[0]);
}

TEST(LoggerSingletonTest, FlatFunctionsWriteThroughTheSingletonAndKeepTheLastError) {
  std::wstring name = larktest::UniqueName(L"loggertest_flat_");
  logtest::LoggingKey key(L"Lark", name);
  std::wstring path = logtest::FreshLogPath(name);
  const DWORD kError = 0xBEEF;
  SetLastError(kError);
  LogInit(name.c_str());
  EXPECT_EQ(GetLastError(), kError);
  LogW(4, L"%s: wide %s", L"Test::Flat", L"text");
  EXPECT_EQ(GetLastError(), kError);
  LogW(5, L"%s: filtered", L"Test::Flat");
  EXPECT_EQ(GetLastError(), kError);
  LogA(4, "Compilation time: %s %s", "Jan  1 2026", "10:00:00");
  EXPECT_EQ(GetLastError(), kError);
  LogClose();
  EXPECT_EQ(GetLastError(), kError);
  LogW(4, L"%s: after close", L"Test::Flat");
  EXPECT_EQ(GetLastError(), kError);

  std::vector<std::wstring> lines;
  ASSERT_TRUE(logtest::ReadLogLines(path, lines));
  std::vector<std::wstring> texts;
  for (const auto& line : lines) {
    ParsedLine p;
    if (logtest::ParseLine(line, p)) texts.push_back(p.text);
  }
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[1], L"Test::Flat: wide text");
  EXPECT_EQ(texts[2], L"Compilation time: Jan  1 2026 10:00:00");
  EXPECT_EQ(texts[3], L"***  LOGGING ENDED  ***");
  logtest::RemoveLogFiles(path);
}

}  // namespace
