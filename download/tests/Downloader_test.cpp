// Downloader against the loopback test server: whole transfers, resumes
// after cuts and resets, changed server files, skipped complete files,
// status codes, time-outs and cancelling.
#include <gtest/gtest.h>

#include <thread>

#include "download/DownloadResult.h"
#include "download/Downloader.h"
#include "download/DownloaderJobApi.h"
#include "download/tests/DownloadTestSupport.h"
#include "logging/Log.h"
#include "logging/tests/LogTestSupport.h"
#include "testsupport/TestEnv.h"
#include "testsupport/httpserver/TestHttpServer.h"

using namespace khdownload;
using namespace larktest;
using downloadtest::Progress;
using downloadtest::ReadResumeRecord;
using downloadtest::RecordProgress;

namespace {

const bool g_reset = (downloadtest::ResetOwnResumeFile(), true);

class DownloaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(TestHttpServer::Port(), 0) << "the test HTTP server is not running";
    m_name = downloadtest::UniqueFileName(L"dl");
    m_url = TestHttpServer::Url(m_name);
    m_target = m_dir.file(L"out.bin");
  }
  void Serve(size_t size, unsigned seed = 1) {
    m_source = TestBytes(size, seed);
    ASSERT_TRUE(TestHttpServer::PutFile(m_name, m_source));
  }
  std::string Local() const {
    std::string bytes;
    ReadFileBytes(m_target, bytes);
    return bytes;
  }
  std::vector<HttpLogEntry> Gets() const {
    std::vector<HttpLogEntry> gets;
    for (const HttpLogEntry& e : TestHttpServer::Log(m_name))
      if (e.method == "GET") gets.push_back(e);
    return gets;
  }
  // A later run of the installer: a new job with its own transfer object.
  int DownloadWithNewJob() {
    DownloaderJobHandle job = nullptr;
    if (CreateDownloaderJob(&job, nullptr, nullptr) != 0) return -100;
    DownloaderJobAddURL(job, m_url.c_str(), m_target.c_str());
    int result = DownloaderJobDownload(job);
    ReleaseDownloaderJob(job);
    return result;
  }

  ScratchDir m_dir{L"downloader"};
  std::wstring m_name, m_url, m_target;
  std::string m_source;
};

TEST_F(DownloaderTest, WholeFileWithProgressAndResumeRecord) {
  Serve(100000);
  Progress progress;
  Downloader d;
  ASSERT_EQ(d.download(m_url, m_target, RecordProgress, &progress), kDownloadOk);
  EXPECT_TRUE(Local() == m_source);
  ASSERT_EQ(progress.calls.size(), 4u) << "one call per 32768-byte chunk";
  EXPECT_EQ(progress.calls.front(), std::make_pair(DWORD(32768), DWORD(100000)));
  EXPECT_EQ(progress.calls.back(), std::make_pair(DWORD(100000), DWORD(100000)));
  EXPECT_TRUE(d.IsServerReached());
  EXPECT_TRUE(d.IsDataStarted());
  EXPECT_EQ(d.GetServerAddress(), L"127.0.0.1");

  std::vector<HttpLogEntry> log = TestHttpServer::Log(m_name);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].method, "HEAD");
  EXPECT_EQ(log[1].method, "GET");
  EXPECT_EQ(log[1].range, "");
  EXPECT_EQ(log[1].bytesSent, 100000);
  bool agent = false;
  for (const std::string& h : log[1].headers) agent = agent || h == "User-Agent: KHDownload";
  EXPECT_TRUE(agent);

  URLInfo info = {};
  ASSERT_EQ(d.GetURLInfo(m_url.c_str(), &info), kDownloadOk);
  EXPECT_EQ(info.contentLength, 100000u);
  downloadtest::ResumeRecord record = ReadResumeRecord(m_url);
  ASSERT_TRUE(record.found);
  EXPECT_EQ(record.contentLength, 100000u);
  EXPECT_EQ(record.sizeDownloaded, 100000u);
  EXPECT_EQ(record.fileLocation, m_target);
  EXPECT_EQ(record.lastModified, info.lastModified);
  EXPECT_NE(record.lastModified.find(L" GMT"), std::wstring::npos);
}

TEST_F(DownloaderTest, CompleteFileIsNotFetchedAgain) {
  Serve(70000);
  ASSERT_EQ(DownloadWithNewJob(), kDownloadOk);
  Progress progress;
  Downloader d;
  ASSERT_EQ(d.download(m_url, m_target, RecordProgress, &progress), kDownloadOk);
  ASSERT_EQ(progress.calls.size(), 1u);
  EXPECT_EQ(progress.calls[0], std::make_pair(DWORD(70000), DWORD(70000)));
  EXPECT_EQ(Gets().size(), 1u) << "only the first download sent a GET";
  EXPECT_TRUE(Local() == m_source);
}

struct CutCase {
  const char* kind;
  int after;
};

class CutAndResume : public DownloaderTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(CutAndResume, NewJobFetchesOnlyTheRestToAnIdenticalFile) {
  const CutCase c = GetParam();
  const bool reset = std::string(c.kind) == "reset";
  Serve(100000, static_cast<unsigned>(c.after) + 3);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, std::string("kind=") + c.kind + "&after=" + std::to_string(c.after)));
  Downloader first;
  int result = first.download(m_url, m_target);
  if (reset)
    EXPECT_TRUE(result == kDownloadIntegrityError || result == kDownloadServerError) << result;
  else
    EXPECT_EQ(result, kDownloadIntegrityError) << "a cut body looks short, not complete";
  // A reset may drop bytes that were already on their way.
  size_t kept = Local().size();
  if (!reset) {
    EXPECT_EQ(kept, static_cast<size_t>(c.after));
  }
  EXPECT_LE(kept, static_cast<size_t>(c.after));
  EXPECT_TRUE(Local() == m_source.substr(0, kept));
  if (kept > 0) {
    downloadtest::ResumeRecord record = ReadResumeRecord(m_url);
    ASSERT_TRUE(record.found);
    EXPECT_EQ(record.sizeDownloaded, static_cast<DWORD>(kept));
    EXPECT_EQ(record.contentLength, 100000u);
    EXPECT_EQ(record.fileLocation, m_target);
  }

  ASSERT_EQ(DownloadWithNewJob(), kDownloadOk);
  EXPECT_TRUE(Local() == m_source);
  std::vector<HttpLogEntry> gets = Gets();
  ASSERT_EQ(gets.size(), 2u);
  if (kept > 0) {
    EXPECT_EQ(gets[1].range, "bytes=" + std::to_string(kept) + "-100000");
    EXPECT_FALSE(gets[1].ifUnmodifiedSince.empty());
    EXPECT_EQ(gets[1].status, 206);
    EXPECT_EQ(gets[1].bytesSent, static_cast<long long>(100000 - kept));
  } else {
    EXPECT_EQ(gets[1].range, "") << "nothing was written, so nothing to continue";
    EXPECT_EQ(gets[1].bytesSent, 100000);
  }
}

INSTANTIATE_TEST_SUITE_P(Points, CutAndResume,
                         ::testing::Values(CutCase{"cut", 0}, CutCase{"cut", 1}, CutCase{"cut", 32768},
                                           CutCase{"cut", 50001}, CutCase{"cut", 99999}, CutCase{"reset", 40000},
                                           CutCase{"reset", 65536}));

TEST_F(DownloaderTest, ResumeAfterSeveralCutsInARow) {
  Serve(300000, 9);
  int cuts[] = {20000, 50000, 70001, 100000};  // ends at 20000, 70000, 140001, 240001
  for (int at : cuts) {
    ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=cut&after=" + std::to_string(at)));
    // The fault counts from the start of the body sent, which begins at the
    // previous cut when continuing.
    EXPECT_NE(DownloadWithNewJob(), kDownloadOk);
  }
  ASSERT_EQ(DownloadWithNewJob(), kDownloadOk);
  EXPECT_TRUE(Local() == m_source);
  long long sent = 0;
  for (const HttpLogEntry& e : Gets()) sent += e.bytesSent;
  EXPECT_EQ(sent, 300000) << "every byte crossed the wire exactly once";
}

TEST_F(DownloaderTest, ChangedServerFileStartsAgainCleanly) {
  Serve(100000, 1);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=cut&after=40000"));
  ASSERT_EQ(DownloadWithNewJob(), kDownloadIntegrityError);
  Serve(80000, 2);  // a newer file with a newer Last-Modified
  ASSERT_EQ(DownloadWithNewJob(), kDownloadOk);
  EXPECT_TRUE(Local() == m_source);
  std::vector<HttpLogEntry> gets = Gets();
  ASSERT_EQ(gets.size(), 2u);
  EXPECT_EQ(gets[1].range, "");
  EXPECT_EQ(ReadResumeRecord(m_url).sizeDownloaded, 80000u);
}

TEST_F(DownloaderTest, PreconditionFailedRestartsWithAFreshGet) {
  Serve(100000, 1);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=cut&after=40000"));
  Downloader d;
  ASSERT_EQ(d.download(m_url, m_target), kDownloadIntegrityError);
  // The file changes, and this time the HEAD fails, so the transfer still
  // believes its old Last-Modified and asks for the rest: the server's 412
  // must lead to a fresh, complete transfer of the new file.
  Serve(90000, 2);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=status&status=500&method=HEAD"));
  ASSERT_EQ(d.download(m_url, m_target), kDownloadOk);
  EXPECT_TRUE(Local() == m_source);
  std::vector<HttpLogEntry> log = TestHttpServer::Log(m_name);
  ASSERT_GE(log.size(), 6u);
  const HttpLogEntry& ranged = log[log.size() - 3];
  EXPECT_EQ(ranged.method, "GET");
  EXPECT_EQ(ranged.status, 412);
  EXPECT_EQ(ranged.range, "bytes=40000-100000");
  EXPECT_EQ(log[log.size() - 2].method, "HEAD");
  EXPECT_EQ(log.back().method, "GET");
  EXPECT_EQ(log.back().range, "");
  EXPECT_EQ(log.back().bytesSent, 90000);
  downloadtest::ResumeRecord record = ReadResumeRecord(m_url);
  EXPECT_EQ(record.contentLength, 90000u);
  EXPECT_EQ(record.sizeDownloaded, 90000u);
}

// A ranged GET answered with 416 also starts afresh, and the log says it
// was a 416 rather than a failed precondition.
TEST_F(DownloaderTest, RangeNotSatisfiableRestartsAndIsLoggedAsSuch) {
  std::wstring logName = UniqueName(L"dl416_");
  logtest::LoggingKey key(L"Lark", logName);
  key.SetDword(L"LogLevel", 5);
  std::wstring logPath = logtest::FreshLogPath(logName);
  Serve(100000, 7);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=cut&after=40000"));
  ASSERT_EQ(DownloadWithNewJob(), kDownloadIntegrityError);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=status&status=416"));
  LogInit(logName.c_str());
  int result = DownloadWithNewJob();
  LogClose();
  ASSERT_EQ(result, kDownloadOk);
  EXPECT_TRUE(Local() == m_source);
  std::vector<HttpLogEntry> log = TestHttpServer::Log(m_name);
  ASSERT_GE(log.size(), 3u);
  const HttpLogEntry& ranged = log[log.size() - 3];
  EXPECT_EQ(ranged.status, 416);
  EXPECT_EQ(ranged.range, "bytes=40000-100000");
  EXPECT_EQ(log[log.size() - 2].method, "HEAD");
  EXPECT_EQ(log.back().range, "");
  EXPECT_EQ(log.back().bytesSent, 100000);

  std::vector<std::wstring> lines;
  ASSERT_TRUE(logtest::ReadLogLines(logPath, lines));
  int told = 0;
  for (const std::wstring& line : lines) {
    EXPECT_EQ(line.find(L"PRECOND_FAILED"), std::wstring::npos) << Narrow(line);
    if (line.find(L"khdownload::Downloader::PrepareFileDownload: Range not satisfiable (416), downloading the whole "
                  L"file") != std::wstring::npos)
      ++told;
  }
  EXPECT_EQ(told, 1);
  logtest::RemoveLogFiles(logPath);
}

TEST_F(DownloaderTest, RangeIgnoredByServerRewritesTheWholeFile) {
  Serve(100000, 4);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=cut&after=30000"));
  ASSERT_EQ(DownloadWithNewJob(), kDownloadIntegrityError);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=norange"));
  ASSERT_EQ(DownloadWithNewJob(), kDownloadOk);
  EXPECT_TRUE(Local() == m_source);
  EXPECT_EQ(Gets().back().status, 200);
}

TEST_F(DownloaderTest, ContinuedFileLongerThanTheServersIsCutToSize) {
  Serve(100000, 5);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=cut&after=40000"));
  ASSERT_EQ(DownloadWithNewJob(), kDownloadIntegrityError);
  std::string local = Local() + std::string(110000, 'x');  // stale bytes beyond the end
  ASSERT_TRUE(WriteFileBytes(m_target, local));
  ASSERT_EQ(DownloadWithNewJob(), kDownloadOk);
  EXPECT_EQ(Local().size(), 100000u);
  EXPECT_TRUE(Local() == m_source);
}

TEST_F(DownloaderTest, RecordForAnotherPathIsNotContinued) {
  Serve(100000, 6);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=cut&after=40000"));
  ASSERT_EQ(DownloadWithNewJob(), kDownloadIntegrityError);
  m_target = m_dir.file(L"elsewhere.bin");
  ASSERT_EQ(DownloadWithNewJob(), kDownloadOk);
  EXPECT_TRUE(Local() == m_source);
  EXPECT_EQ(Gets().back().range, "");
}

TEST_F(DownloaderTest, ServerWithoutLastModifiedAlwaysStartsAfresh) {
  Serve(40000, 7);
  m_url += L"?nolm=1";
  Progress progress;
  Downloader d;
  ASSERT_EQ(d.download(m_url, m_target, RecordProgress, &progress), kDownloadOk);
  EXPECT_TRUE(Local() == m_source);
  ASSERT_FALSE(progress.calls.empty());
  EXPECT_EQ(progress.calls.back(), std::make_pair(DWORD(0), DWORD(0))) << "no HEAD total is known";
  ASSERT_EQ(d.download(m_url, m_target), kDownloadOk);
  EXPECT_EQ(Gets().size(), 2u);
  EXPECT_EQ(Gets().back().range, "");
}

TEST_F(DownloaderTest, EmptyFileIsCreated) {
  Serve(0);
  ASSERT_TRUE(WriteFileBytes(m_target, std::string("old")));
  Downloader d;
  ASSERT_EQ(d.download(m_url, m_target), kDownloadOk);
  EXPECT_NE(GetFileAttributesW(m_target.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Local(), "");
}

TEST_F(DownloaderTest, FailuresMapToTheirCodes) {
  struct Case {
    const char* fault;  // empty: the file is missing
    int expected;
  } cases[] = {
      {"", kDownloadNotFound},
      {"kind=status&status=404&method=*&count=2", kDownloadNotFound},
      {"kind=status&status=500", kDownloadServerError},
      {"kind=status&status=403", kDownloadServerError},
      {"kind=length&length=50000", kDownloadIntegrityError},
  };
  for (const Case& c : cases) {
    m_name = downloadtest::UniqueFileName(L"fail");
    m_url = TestHttpServer::Url(m_name);
    if (*c.fault) {
      Serve(20000);
      ASSERT_TRUE(TestHttpServer::AddFault(m_name, c.fault));
    }
    Downloader d;
    EXPECT_EQ(d.download(m_url, m_target), c.expected) << c.fault;
  }
}

TEST_F(DownloaderTest, BadUrlFailsBeforeAnyNetworkCall) {
  Downloader d;
  EXPECT_EQ(d.download(L"not a url", m_target), kDownloadBadUrl);
  EXPECT_EQ(d.download(L"", m_target), kDownloadBadUrl);
  URLInfo info;
  EXPECT_EQ(d.GetURLInfo(nullptr, &info), kDownloadBadUrl);
  EXPECT_FALSE(d.IsServerReached());
}

TEST_F(DownloaderTest, UrlInfoOfMissingAndFailingFiles) {
  Downloader d;
  URLInfo info = {};
  EXPECT_EQ(d.GetURLInfo(m_url.c_str(), &info), kDownloadNotFound);
  Serve(10);
  // A 503 answer carries no Last-Modified, which already fails the HEAD.
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=status&status=503&method=HEAD"));
  EXPECT_EQ(d.GetURLInfo(m_url.c_str(), &info), kDownloadServerError);
}

TEST_F(DownloaderTest, TimeoutSettingRefusesNonPositiveSeconds) {
  Downloader d;
  EXPECT_FALSE(d.SetTimeout(0));
  EXPECT_FALSE(d.SetTimeout(-3));
  EXPECT_EQ(d.TimeoutMs(), 40000);
  EXPECT_TRUE(d.SetTimeout(5));
  EXPECT_EQ(d.TimeoutMs(), 5000);
}

TEST_F(DownloaderTest, StalledBodyTimesOut) {
  Serve(100000);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=stall&after=40000&seconds=6"));
  Downloader d;
  d.SetTimeout(1);
  DWORD start = GetTickCount();
  EXPECT_EQ(d.download(m_url, m_target), kDownloadTimedOut);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 900u);
  EXPECT_LT(elapsed, 4000u);
  // Each read fills the whole chunk unless the body ends, so the record
  // holds the chunks completed before the stall.
  EXPECT_EQ(ReadResumeRecord(m_url).sizeDownloaded, 32768u) << "what arrived stays for a later attempt";
  EXPECT_EQ(Local().size(), 32768u);
}

// Cancels d from another thread after waitMs, or once data arrived.
struct Canceller {
  Canceller(Downloader& d, HANDLE trigger, DWORD waitMs)
      : thread([&d, trigger, waitMs] {
          if (trigger)
            WaitForSingleObject(trigger, 10000);
          else
            Sleep(waitMs);
          d.abort();
        }) {}
  ~Canceller() { thread.join(); }
  std::thread thread;
};

TEST_F(DownloaderTest, AbortDuringPendingReadEndsPromptly) {
  Serve(200000);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=stall&after=40000&seconds=5"));
  Progress progress;
  progress.dataEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Downloader d;
  DWORD start = GetTickCount();
  int result;
  {
    Canceller cancel(d, progress.dataEvent, 0);
    result = d.download(m_url, m_target, RecordProgress, &progress);
  }
  DWORD elapsed = GetTickCount() - start;
  EXPECT_EQ(result, kDownloadCancelled);
  EXPECT_LT(elapsed, 2500u) << "the stalled body would take 5 s";
  EXPECT_TRUE(d.IsDataStarted());
  CloseHandle(progress.dataEvent);
  // The partial file stays for a later attempt.
  ASSERT_EQ(DownloadWithNewJob(), kDownloadOk);
  EXPECT_TRUE(Local() == m_source);
}

TEST_F(DownloaderTest, AbortDuringPendingSendEndsPromptly) {
  Serve(1000);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=delay&seconds=4"));
  Downloader d;
  DWORD start = GetTickCount();
  int result;
  {
    Canceller cancel(d, nullptr, 400);
    result = d.download(m_url, m_target);
  }
  EXPECT_EQ(result, kDownloadCancelled);
  EXPECT_LT(GetTickCount() - start, 2500u) << "the answer would take 4 s";
  EXPECT_FALSE(d.IsDataStarted());
}

TEST_F(DownloaderTest, AbortDuringTheHeadRequestSendsNoGet) {
  Serve(1000);
  ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=delay&method=HEAD&seconds=4"));
  Downloader d;
  DWORD start = GetTickCount();
  int result;
  {
    Canceller cancel(d, nullptr, 400);
    result = d.download(m_url, m_target);
  }
  EXPECT_EQ(result, kDownloadCancelled);
  EXPECT_LT(GetTickCount() - start, 2500u) << "the HEAD's answer would take 4 s";
  Sleep(1000);  // a GET sent after the abort arrives by now
  std::vector<std::string> methods;
  for (const HttpLogEntry& e : TestHttpServer::Log(m_name)) methods.push_back(e.method);
  EXPECT_EQ(methods, std::vector<std::string>{"HEAD"});
  EXPECT_EQ(GetFileAttributesW(m_target.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(d.IsDataStarted());
}

TEST_F(DownloaderTest, AbortBeforeTheDownloadStartsFetchesNothing) {
  // Its job cancels it in the instant before the transfer begins.
  Serve(50000);
  Downloader d;
  d.abort();
  EXPECT_EQ(d.download(m_url, m_target), kDownloadCancelled);
  EXPECT_TRUE(TestHttpServer::Log(m_name).empty()) << "no request may reach the server";
  EXPECT_EQ(GetFileAttributesW(m_target.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(d.IsServerReached());
  EXPECT_FALSE(d.IsDataStarted());
}

TEST_F(DownloaderTest, DestroyingRightAfterAnAbandonedReadIsSafe) {
  // WinINet may finish a read that was given up after its caller returned;
  // the buffer must outlive that.
  for (int i = 0; i < 3; ++i) {
    m_name = downloadtest::UniqueFileName(L"aband");
    m_url = TestHttpServer::Url(m_name);
    Serve(100000);
    ASSERT_TRUE(TestHttpServer::AddFault(m_name, "kind=stall&after=33000&seconds=1.5"));
    Downloader* d = new Downloader;
    d->SetTimeout(1);
    EXPECT_EQ(d->download(m_url, m_target), kDownloadTimedOut);
    delete d;
  }
  Sleep(2500);  // the stalled reads end now, into parked buffers
  Downloader d;
  m_name = downloadtest::UniqueFileName(L"after");
  m_url = TestHttpServer::Url(m_name);
  Serve(50000);
  EXPECT_EQ(d.download(m_url, m_target), kDownloadOk);
  EXPECT_TRUE(Local() == m_source);
}

}  // namespace
