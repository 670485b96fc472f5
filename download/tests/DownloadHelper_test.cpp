// The download facade against the loopback server: one file per call on a
// fresh job, the failure read-outs, abort from another thread, the time-out
// and the percentages that reach a progress sink.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

#include "download/DownloadHelper.h"
#include "download/tests/DownloadTestSupport.h"
#include "platform/tests/PlatformLogCapture.h"
#include "testsupport/TestEnv.h"
#include "testsupport/httpserver/TestHttpServer.h"

using namespace larktest;

namespace {

const bool g_reset = (downloadtest::ResetOwnResumeFile(), true);

// Records every percentage; safe from any thread.
class RecordingSink : public ProgressSink {
 public:
  void SetRange(int, int) override {}
  void GetRange(int& minimum, int& maximum) override { minimum = 0, maximum = 100; }
  void SetSubProgress(int percent) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_percents.push_back(percent);
    if (percent > 0 && m_firstData) SetEvent(m_firstData);
  }
  int GetPos() override { return -1; }
  void SetPos(int) override {}
  void StepIt() override {}
  std::vector<int> Percents() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_percents;
  }
  HANDLE m_firstData = nullptr;

 private:
  std::mutex m_mutex;
  std::vector<int> m_percents;
};

// A loopback port on which nothing listens.
int ClosedPort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  int len = sizeof(addr);
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  closesocket(s);
  return ntohs(addr.sin_port);
}

size_t CountContaining(const std::vector<std::wstring>& lines, const std::wstring& part) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::wstring& l) { return l.find(part) != std::wstring::npos; });
}

class DownloadHelperTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(TestHttpServer::Port(), 0) << "the test HTTP server is not running"; }
  std::wstring Serve(size_t size, unsigned seed = 3) {
    std::wstring name = downloadtest::UniqueFileName(L"helper");
    m_bytes = TestBytes(size, seed);
    EXPECT_TRUE(TestHttpServer::PutFile(name, m_bytes));
    return name;
  }
  bool TargetMatches(const std::wstring& path) {
    std::string bytes;
    return ReadFileBytes(path, bytes) && bytes == m_bytes;
  }
  ScratchDir m_dir{L"helper"};
  std::string m_bytes;
};

TEST_F(DownloadHelperTest, DownloadsTheFileAndReportsTheConnection) {
  std::wstring name = Serve(300000);
  RecordingSink sink;
  Download_Helper helper;
  ASSERT_TRUE(helper.download(TestHttpServer::Url(name), m_dir.file(L"a.bin"), &sink));
  EXPECT_TRUE(TargetMatches(m_dir.file(L"a.bin")));
  EXPECT_TRUE(helper.IsConnectionEstablished());
  EXPECT_TRUE(helper.IsDownloadStarted());
  EXPECT_EQ(helper.GetConnectAddress(), L"127.0.0.1");
  EXPECT_EQ(helper.GetDnsQueryName(), L"127.0.0.1");

  std::vector<int> percents = sink.Percents();
  ASSERT_FALSE(percents.empty());
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_GE(percents.front(), 0);
  EXPECT_EQ(percents.back(), 100);
}

TEST_F(DownloadHelperTest, ProgressPercentagesFromBytes) {
  // The sink of the last download stays in use for later callbacks.
  std::wstring name = Serve(10);
  RecordingSink sink;
  Download_Helper helper;
  ASSERT_TRUE(helper.download(TestHttpServer::Url(name), m_dir.file(L"p.bin"), &sink));
  size_t before = sink.Percents().size();
  struct Case {
    DWORD done, total;
    int percent;
  } cases[] = {{0, 0, 0}, {7, 0xFFFFFFFF, 0}, {50, 200, 25}, {199, 200, 99}, {200, 200, 100}, {1, 3, 33}};
  for (const Case& c : cases) Download_Helper::ProgressCallback(L"u", c.done, c.total, &helper);
  std::vector<int> percents = sink.Percents();
  ASSERT_EQ(percents.size(), before + 6);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(percents[before + i], cases[i].percent) << i;
  // No helper, or a helper without a sink: nothing happens.
  EXPECT_EQ(Download_Helper::ProgressCallback(L"u", 1, 2, nullptr), 0);
  Download_Helper noSink;
  EXPECT_EQ(Download_Helper::ProgressCallback(L"u", 1, 2, &noSink), 0);
}

TEST_F(DownloadHelperTest, EmptyArgumentsFailWithoutAJob) {
  Download_Helper helper;
  PlatformLogCapture log;
  EXPECT_FALSE(helper.download(L"", m_dir.file(L"x"), nullptr));
  EXPECT_FALSE(helper.download(TestHttpServer::Url(L"x"), L"", nullptr));
  std::vector<std::wstring> lines = log.Texts();
  EXPECT_EQ(CountContaining(lines, L".W|Download_Helper::download: Download URL and target file path must not empty."),
            2u);
  EXPECT_EQ(CountContaining(lines, L"Download_Helper::createDownloaderJob"), 0u);
}

TEST_F(DownloadHelperTest, EveryDownloadRunsOnANewJob) {
  std::wstring name = Serve(5000);
  Download_Helper helper;
  PlatformLogCapture log;
  // A failed file first: its state must not reach the next download.
  EXPECT_FALSE(helper.download(TestHttpServer::Url(L"missing-" + name), m_dir.file(L"m.bin"), nullptr));
  EXPECT_FALSE(helper.IsDownloadStarted());
  EXPECT_TRUE(helper.download(TestHttpServer::Url(name), m_dir.file(L"b.bin"), nullptr));
  EXPECT_TRUE(TargetMatches(m_dir.file(L"b.bin")));
  std::vector<std::wstring> lines = log.Texts();
  EXPECT_EQ(CountContaining(lines, L" I|Download_Helper::createDownloaderJob: delete old instance"), 2u);
  std::wstring failure = L"*F|Download_Helper::download: Failed to download " +
                         TestHttpServer::Url(L"missing-" + name) + L" to " + m_dir.file(L"m.bin") +
                         L": Resource Not Found (HTTP 404)";
  EXPECT_EQ(CountContaining(lines, failure), 1u);
  // The queue held only the one file: a single GET for the good one.
  size_t gets = 0;
  for (const HttpLogEntry& e : TestHttpServer::Log(name)) gets += e.method == "GET";
  EXPECT_EQ(gets, 1u);
}

TEST_F(DownloadHelperTest, ServerDownIsNeitherConnectedNorStarted) {
  Download_Helper helper;
  std::wstring url = L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/f/none.bin";
  EXPECT_FALSE(helper.download(url, m_dir.file(L"d.bin"), nullptr));
  EXPECT_FALSE(helper.IsConnectionEstablished());
  EXPECT_FALSE(helper.IsDownloadStarted());
}

TEST_F(DownloadHelperTest, ConnectedServerThatSendsNoDataTimesOut) {
  // Headers, then silence on every attempt.
  std::wstring name = Serve(1000);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=stall&after=0&seconds=8&count=0"));
  Download_Helper helper;
  helper.SetTimeout(1);
  PlatformLogCapture log;
  DWORD start = GetTickCount();
  EXPECT_FALSE(helper.download(TestHttpServer::Url(name), m_dir.file(L"n.bin"), nullptr));
  DWORD elapsed = GetTickCount() - start;
  EXPECT_LT(elapsed, 7000u) << "three attempts of one second each, not the 40 s default";
  EXPECT_TRUE(helper.IsConnectionEstablished());
  EXPECT_FALSE(helper.IsDownloadStarted());
  EXPECT_EQ(helper.GetConnectAddress(), L"127.0.0.1");
  std::vector<std::wstring> lines = log.Texts();
  EXPECT_EQ(CountContaining(lines, L": Download could not proceed for long time"), 1u);
  TestHttpServer::ClearFaults(name);
}

TEST_F(DownloadHelperTest, WithoutTimeOutASlowAnswerStillArrives) {
  std::wstring name = Serve(1000);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=delay&seconds=2"));
  Download_Helper helper;
  EXPECT_TRUE(helper.download(TestHttpServer::Url(name), m_dir.file(L"s.bin"), nullptr));
  EXPECT_TRUE(TargetMatches(m_dir.file(L"s.bin")));
}

TEST_F(DownloadHelperTest, BrokenTransferHasStartedData) {
  std::wstring name = Serve(200000);
  // Every GET breaks after 30000 bytes, the retries' resumed ones too.
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=reset&after=30000&count=0"));
  Download_Helper helper;
  EXPECT_FALSE(helper.download(TestHttpServer::Url(name), m_dir.file(L"r.bin"), nullptr));
  EXPECT_TRUE(helper.IsConnectionEstablished());
  EXPECT_TRUE(helper.IsDownloadStarted());
  TestHttpServer::ClearFaults(name);
}

TEST_F(DownloadHelperTest, AbortFromAnotherThreadEndsTheDownload) {
  std::wstring name = Serve(400000);
  ASSERT_TRUE(TestHttpServer::AddFault(name, "kind=stall&after=100000&seconds=6"));
  RecordingSink sink;
  sink.m_firstData = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Download_Helper helper;
  PlatformLogCapture log;
  std::thread canceller([&] {
    WaitForSingleObject(sink.m_firstData, 5000);
    helper.abort();
  });
  DWORD start = GetTickCount();
  EXPECT_FALSE(helper.download(TestHttpServer::Url(name), m_dir.file(L"c.bin"), &sink));
  DWORD elapsed = GetTickCount() - start;
  canceller.join();
  CloseHandle(sink.m_firstData);
  EXPECT_LT(elapsed, 4000u) << "the stalled body would take 6 s";
  EXPECT_TRUE(helper.IsDownloadStarted());
  std::vector<std::wstring> lines = log.Texts();
  EXPECT_EQ(CountContaining(lines, L": Download was cancelled on request"), 1u);

  // The cancel holds for the helper's life (its page is ending): a later
  // download fetches nothing, while a new helper fetches the file.
  TestHttpServer::ClearFaults(name);
  const size_t requests = TestHttpServer::Log(name).size();
  EXPECT_FALSE(helper.download(TestHttpServer::Url(name), m_dir.file(L"c2.bin"), nullptr));
  EXPECT_EQ(TestHttpServer::Log(name).size(), requests);
  EXPECT_EQ(GetFileAttributesW(m_dir.file(L"c2.bin").c_str()), INVALID_FILE_ATTRIBUTES);
  Download_Helper fresh;
  EXPECT_TRUE(fresh.download(TestHttpServer::Url(name), m_dir.file(L"c3.bin"), nullptr));
  EXPECT_TRUE(TargetMatches(m_dir.file(L"c3.bin")));
}

TEST_F(DownloadHelperTest, AbortBeforeADownloadFetchesNothing) {
  // The page's Yes can come before its worker reaches the download.
  std::wstring name = Serve(50000);
  Download_Helper helper;
  PlatformLogCapture log;
  helper.abort();
  EXPECT_FALSE(helper.download(TestHttpServer::Url(name), m_dir.file(L"e.bin"), nullptr));
  EXPECT_TRUE(TestHttpServer::Log(name).empty()) << "no request may reach the server";
  EXPECT_EQ(GetFileAttributesW(m_dir.file(L"e.bin").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(helper.IsConnectionEstablished());
  EXPECT_FALSE(helper.IsDownloadStarted());
  std::vector<std::wstring> lines = log.Texts();
  EXPECT_EQ(CountContaining(lines, L"*F|Download_Helper::download: Failed to download " + TestHttpServer::Url(name) +
                                       L" to " + m_dir.file(L"e.bin") + L": Download was cancelled on request"),
            1u);
}

// Busy-waits about the given number of microseconds (a sleep is far
// coarser than the instants this is meant to hit).
void SpinMicroseconds(double microseconds) {
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  do {
    QueryPerformanceCounter(&now);
  } while (static_cast<double>(now.QuadPart - start.QuadPart) * 1e6 / frequency.QuadPart < microseconds);
}

TEST_F(DownloadHelperTest, AbortWhileJobsAreReplacedIsSafe) {
  // abort() from another thread just as a download replaces the helper's
  // job, at instants from before the call up to its first request. The
  // server waits 400 ms before each answer, so an abort that is lost shows
  // as a download that runs its course (and writes the file); one that
  // holds ends the download before any answer. Either way the helper stays
  // aborted: its next download sends nothing to the server.
  const std::wstring warm = Serve(2000);
  const std::wstring afterwards = Serve(2000, 5);
  for (int round = 0; round < 20; ++round) {
    const std::wstring slow = Serve(2000, 10 + round);
    const std::wstring target = m_dir.file(L"race-" + std::to_wstring(round) + L".bin");
    Download_Helper helper;
    // A first download, so that the raced one replaces a job.
    ASSERT_TRUE(helper.download(TestHttpServer::Url(warm), m_dir.file(L"warm.bin"), nullptr));
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const double offset = round * 150.0;  // microseconds, 0 to 2.85 ms
    std::thread canceller([&] {
      WaitForSingleObject(go, INFINITE);
      SpinMicroseconds(offset);
      helper.abort();
    });
    SetEvent(go);
    const DWORD start = GetTickCount();
    const bool result = helper.download(TestHttpServer::Url(slow) + L"?delay=0.4", target, nullptr);
    const DWORD elapsed = GetTickCount() - start;
    canceller.join();
    CloseHandle(go);
    EXPECT_FALSE(result) << "round " << round << ": the abort was lost";
    EXPECT_LT(elapsed, 350u) << "round " << round << ": one answer alone takes 400 ms";
    EXPECT_EQ(GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES) << "round " << round;
    EXPECT_FALSE(helper.download(TestHttpServer::Url(afterwards), m_dir.file(L"afterwards.bin"), nullptr))
        << "round " << round;
  }
  EXPECT_TRUE(TestHttpServer::Log(afterwards).empty()) << "an aborted helper sent requests";
  EXPECT_EQ(GetFileAttributesW(m_dir.file(L"afterwards.bin").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(DownloadHelperVersion, LibraryVersionText) {
  EXPECT_EQ(Download_Helper::GetLibraryVersion(), L"KhDownloadLib version 1.0.34399");
}

}  // namespace
