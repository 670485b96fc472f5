// Download jobs through the flat interface: the queue, the retry policy,
// cancelling from another thread, and the read-outs after a failure.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <cstring>
#include <map>
#include <thread>

#include "download/DownloadResult.h"
#include "download/DownloaderJob.h"
#include "download/DownloaderJobApi.h"
#include "download/tests/DownloadTestSupport.h"
#include "testsupport/TestEnv.h"
#include "testsupport/httpserver/TestHttpServer.h"

using namespace khdownload;
using namespace larktest;

namespace {

const bool g_reset = (downloadtest::ResetOwnResumeFile(), true);

TEST(DownloadResultText, EveryCodeHasItsText) {
  struct Case {
    int code;
    const wchar_t* text;
  } cases[] = {
      {0, L"No error"},
      {1, L"Bad URL for downloading"},
      {2, L"Download was cancelled on request"},
      {3, L"Not enough disk space"},
      {4, L"Integrity error"},
      {5, L"Input/output error"},
      {6, L"Not enough memory"},
      {7, L"Unrecoverable error in getting the file from server"},
      {8, L"Download could not proceed for long time"},
      {9, L"Resource Not Found (HTTP 404)"},
      {101, L"Download was paused on request"},
      {-1, L"Unrecognized error"},
      {10, L""},
      {100, L""},
      {-2, L""},
  };
  for (const Case& c : cases) EXPECT_STREQ(DownloadErrorText(c.code), c.text) << c.code;
  EXPECT_STREQ(kDownloadLibVersion, L"KhDownloadLib version 1.0.34399");
}

class JobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(TestHttpServer::Port(), 0) << "the test HTTP server is not running";
    ASSERT_EQ(CreateDownloaderJob(&m_job, nullptr, nullptr), kDownloadOk);
    ASSERT_NE(m_job, nullptr);
  }
  void TearDown() override { ReleaseDownloaderJob(m_job); }
  KH_DownloaderJob& Job() { return *static_cast<KH_DownloaderJob*>(m_job); }
  // A served file with a new name; returns the name.
  std::wstring Serve(size_t size, unsigned seed = 1) {
    std::wstring name = downloadtest::UniqueFileName(L"job");
    m_sources[name] = TestBytes(size, seed);
    EXPECT_TRUE(TestHttpServer::PutFile(name, m_sources[name]));
    return name;
  }
  size_t GetCount(const std::wstring& name) {
    size_t n = 0;
    for (const HttpLogEntry& e : TestHttpServer::Log(name)) n += e.method == "GET";
    return n;
  }
  bool Matches(const std::wstring& name, const std::wstring& path) {
    std::string bytes;
    return ReadFileBytes(path, bytes) && bytes == m_sources[name];
  }

  DownloaderJobHandle m_job = nullptr;
  ScratchDir m_dir{L"job"};
  std::map<std::wstring, std::string> m_sources;
};

TEST_F(JobTest, EmptyQueueSucceedsWithoutNetwork) {
  EXPECT_EQ(DownloaderJobDownload(m_job), kDownloadOk);
  DownloaderInfo info;
  ASSERT_EQ(DownloaderJobGetInfo(m_job, &info), kDownloadOk);
  EXPECT_EQ(info.serverReached, 0);
  EXPECT_STREQ(info.serverAddress, L"");
}

TEST_F(JobTest, EmptyTextsAndDuplicatesAreIgnored) {
  std::wstring name = Serve(5000);
  std::wstring url = TestHttpServer::Url(name);
  EXPECT_EQ(DownloaderJobAddURL(m_job, L"", m_dir.file(L"a").c_str()), kDownloadOk);
  EXPECT_EQ(DownloaderJobAddURL(m_job, url.c_str(), L""), kDownloadOk);
  EXPECT_EQ(DownloaderJobAddURL(m_job, nullptr, nullptr), kDownloadOk);
  EXPECT_TRUE(Job().Queue().empty());
  EXPECT_EQ(DownloaderJobAddURL(m_job, url.c_str(), m_dir.file(L"first.bin").c_str()), kDownloadOk);
  EXPECT_EQ(DownloaderJobAddURL(m_job, url.c_str(), m_dir.file(L"second.bin").c_str()), kDownloadOk);
  ASSERT_EQ(Job().Queue().size(), 1u);
  EXPECT_EQ(Job().FindTarget(url), m_dir.file(L"first.bin"));
  EXPECT_EQ(DownloaderJobDownload(m_job), kDownloadOk);
  EXPECT_TRUE(Matches(name, m_dir.file(L"first.bin")));
  EXPECT_EQ(GetFileAttributesW(m_dir.file(L"second.bin").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetCount(name), 1u);
  EXPECT_TRUE(Job().Queue().empty()) << "a queue that finished is emptied";
}

TEST_F(JobTest, FailureStopsTheQueueAndKeepsTheRestInOrder) {
  std::wstring a = Serve(3000, 1), c = Serve(3000, 3);
  std::wstring missing = downloadtest::UniqueFileName(L"missing");
  std::wstring ua = TestHttpServer::Url(a), ub = TestHttpServer::Url(missing), uc = TestHttpServer::Url(c);
  DownloaderJobAddURL(m_job, ua.c_str(), m_dir.file(L"a.bin").c_str());
  DownloaderJobAddURL(m_job, ub.c_str(), m_dir.file(L"b.bin").c_str());
  DownloaderJobAddURL(m_job, uc.c_str(), m_dir.file(L"c.bin").c_str());
  EXPECT_EQ(DownloaderJobDownload(m_job), kDownloadNotFound);
  EXPECT_TRUE(Matches(a, m_dir.file(L"a.bin")));
  EXPECT_EQ(GetCount(missing), 1u) << "404 is not retried";
  EXPECT_EQ(GetCount(c), 0u);
  ASSERT_EQ(Job().Queue().size(), 2u);
  EXPECT_EQ(Job().Queue()[0], ub);
  EXPECT_EQ(Job().Queue()[1], uc);
  EXPECT_EQ(Job().FindTarget(ua), L"");
  EXPECT_EQ(Job().FindTarget(uc), m_dir.file(L"c.bin"));

  // A later call starts at the failed URL.
  ASSERT_TRUE(TestHttpServer::PutFile(missing, "now here"));
  m_sources[missing] = "now here";
  EXPECT_EQ(DownloaderJobDownload(m_job), kDownloadOk);
  EXPECT_TRUE(Matches(missing, m_dir.file(L"b.bin")));
  EXPECT_TRUE(Matches(c, m_dir.file(L"c.bin")));
  EXPECT_EQ(GetCount(a), 1u);
}

TEST_F(JobTest, ServerErrorIsTriedThreeTimesWithPauses) {
  std::wstring name = Serve(1000);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=status&status=500&count=0"));
  DownloaderJobAddURL(m_job, TestHttpServer::Url(name).c_str(), m_dir.file(L"x.bin").c_str());
  DWORD start = GetTickCount();
  EXPECT_EQ(DownloaderJobDownload(m_job), kDownloadServerError);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_EQ(GetCount(name), 3u);
  EXPECT_GE(elapsed, 4400u) << "a 1500 ms pause follows each of the three attempts";
  EXPECT_LT(elapsed, 9000u);
}

TEST_F(JobTest, TimeoutIsTriedThreeTimesWithoutPauses) {
  std::wstring name = Serve(100000);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=stall&after=1000&seconds=3&count=3"));
  ASSERT_EQ(DownloaderJobSetTimeout(m_job, 1), 0);
  DownloaderJobAddURL(m_job, TestHttpServer::Url(name).c_str(), m_dir.file(L"x.bin").c_str());
  DWORD start = GetTickCount();
  EXPECT_EQ(DownloaderJobDownload(m_job), kDownloadTimedOut);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_EQ(GetCount(name), 3u);
  EXPECT_GE(elapsed, 2900u);
  EXPECT_LT(elapsed, 6500u) << "no retry pauses after time-outs (with them: 7.5 s)";
}

TEST_F(JobTest, SetTimeoutRefusesZeroAndNegative) {
  EXPECT_EQ(DownloaderJobSetTimeout(m_job, 0), 1);
  EXPECT_EQ(DownloaderJobSetTimeout(m_job, -5), 1);
  EXPECT_EQ(DownloaderJobSetTimeout(m_job, 5), 0);
}

TEST_F(JobTest, CancelDuringTransferReturnsPromptly) {
  std::wstring name = Serve(300000);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=stall&after=70000&seconds=5"));
  DownloaderJobAddURL(m_job, TestHttpServer::Url(name).c_str(), m_dir.file(L"x.bin").c_str());
  DWORD start = GetTickCount(), cancelledAt = 0;
  std::thread canceller([&] {
    Sleep(700);
    cancelledAt = GetTickCount();
    DownloaderJobCancel(m_job);
  });
  int result = DownloaderJobDownload(m_job);
  DWORD end = GetTickCount();
  canceller.join();
  EXPECT_EQ(result, kDownloadCancelled);
  EXPECT_LT(end - cancelledAt, 1000u);
  EXPECT_LT(end - start, 2500u) << "the stalled body would take 5 s";
  DownloaderInfo info;
  ASSERT_EQ(DownloaderJobGetInfo(m_job, &info), kDownloadOk);
  EXPECT_EQ(info.dataStarted, 1);
}

TEST_F(JobTest, CancelDuringRetryPauseReturnsPromptly) {
  std::wstring name = Serve(1000);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=status&status=500&count=0"));
  DownloaderJobAddURL(m_job, TestHttpServer::Url(name).c_str(), m_dir.file(L"x.bin").c_str());
  DWORD cancelledAt = 0;
  std::thread canceller([&] {
    Sleep(700);
    cancelledAt = GetTickCount();
    DownloaderJobCancel(m_job);
  });
  int result = DownloaderJobDownload(m_job);
  DWORD end = GetTickCount();
  canceller.join();
  EXPECT_EQ(result, kDownloadCancelled);
  EXPECT_LT(end - cancelledAt, 800u) << "the pause would take 1500 ms";
  EXPECT_EQ(GetCount(name), 1u);
}

TEST_F(JobTest, DownloadAfterCancelFetchesNothing) {
  // A cancel that came before the download began still holds: the job
  // stays cancelled, and its queue is left for nobody.
  DownloaderJobCancel(m_job);
  std::wstring name = Serve(2000);
  DownloaderJobAddURL(m_job, TestHttpServer::Url(name).c_str(), m_dir.file(L"x.bin").c_str());
  EXPECT_EQ(DownloaderJobDownload(m_job), kDownloadCancelled);
  EXPECT_TRUE(TestHttpServer::Log(name).empty()) << "no request may reach the server";
  EXPECT_EQ(GetFileAttributesW(m_dir.file(L"x.bin").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(DownloaderJobDownload(m_job), kDownloadCancelled);
  EXPECT_EQ(Job().Queue().size(), 1u);
}

int FreeLoopbackPort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  closesocket(s);
  return ntohs(addr.sin_port);
}

TEST_F(JobTest, InfoTellsHowFarAFailedDownloadGot) {
  struct Case {
    const char* what;
    std::wstring url;
    int serverReached;
    int dataStarted;
  };
  std::wstring missing = downloadtest::UniqueFileName(L"none");
  std::wstring cut = Serve(100000);
  ASSERT_TRUE(TestHttpServer::AddFault(cut, "kind=cut&after=40000"));
  std::wstring closedPort = L"http://127.0.0.1:" + std::to_wstring(FreeLoopbackPort()) + L"/f/x.bin";
  Case cases[] = {
      {"nothing listening", closedPort, 0, 0},
      {"404", TestHttpServer::Url(missing), 1, 0},
      {"cut body", TestHttpServer::Url(cut), 1, 1},
  };
  for (const Case& c : cases) {
    DownloaderJobHandle job = nullptr;
    ASSERT_EQ(CreateDownloaderJob(&job, nullptr, nullptr), kDownloadOk);
    DownloaderJobSetTimeout(job, 2);
    DownloaderJobAddURL(job, c.url.c_str(), m_dir.file(L"i.bin").c_str());
    EXPECT_NE(DownloaderJobDownload(job), kDownloadOk) << c.what;
    DownloaderInfo info;
    memset(&info, 0x55, sizeof info);
    EXPECT_EQ(DownloaderJobGetInfo(job, &info), kDownloadOk);
    EXPECT_EQ(info.serverReached, c.serverReached) << c.what;
    EXPECT_EQ(info.dataStarted, c.dataStarted) << c.what;
    EXPECT_STREQ(info.serverAddress, L"127.0.0.1") << c.what;
    EXPECT_LT(wcslen(info.resolvingName), 512u);
    ReleaseDownloaderJob(job);
  }
}

TEST(JobInfoText, LongTextsAreCutToTheBuffer) {
  wchar_t buffer[512];
  KH_DownloaderJob::CopyTruncated(buffer, 512, std::wstring(600, L'r'));
  EXPECT_EQ(std::wstring(buffer), std::wstring(511, L'r'));
  wchar_t address[64];
  KH_DownloaderJob::CopyTruncated(address, 64, L"127.0.0.1");
  EXPECT_STREQ(address, L"127.0.0.1");
  KH_DownloaderJob::CopyTruncated(address, 64, std::wstring(64, L'a'));
  EXPECT_EQ(wcslen(address), 63u);
}

TEST(JobCreation, NullArgumentsAreRefusedWithoutCrashing) {
  EXPECT_EQ(CreateDownloaderJob(nullptr, nullptr, nullptr), kDownloadNoMemory);
  ReleaseDownloaderJob(nullptr);
  DownloaderJobCancel(nullptr);
  EXPECT_NE(DownloaderJobDownload(nullptr), kDownloadOk);
}

}  // namespace
