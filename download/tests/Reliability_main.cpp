// Reliability run of the download library against the loopback test
// server: many downloads with random cuts, resets, stalls, wrong lengths,
// server errors and files replaced between runs. Each file is fetched by a
// new job per "installer run" until it succeeds (at most --runs times) and
// the finished file is compared with the server's current version.
//   download_reliability [--count N] [--seed S] [--runs R]
// Exit code 0 when every file finished and matched.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "download/DownloaderJobApi.h"
#include "download/tests/DownloadTestSupport.h"
#include "testsupport/TestEnv.h"
#include "testsupport/httpserver/TestHttpServer.h"

using namespace khdownload;
using namespace larktest;

int main(int argc, char** argv) {
  int count = 200, runs = 12;
  unsigned seed = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--count")) count = atoi(argv[i + 1]);
    if (!strcmp(argv[i], "--seed")) seed = static_cast<unsigned>(atoi(argv[i + 1]));
    if (!strcmp(argv[i], "--runs")) runs = atoi(argv[i + 1]);
  }
  if (TestHttpServer::Port() == 0) {
    fprintf(stderr, "the test HTTP server is not running\n");
    return 2;
  }
  downloadtest::ResetOwnResumeFile();
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  ScratchDir dir(L"reliability");
  int identical = 0, mismatched = 0, unfinished = 0, totalRuns = 0, faults = 0, replaced = 0;
  DWORD start = GetTickCount();
  for (int i = 0; i < count; ++i) {
    std::wstring name = downloadtest::UniqueFileName(L"rel");
    size_t size = static_cast<size_t>(pick(0, 9) == 0 ? pick(0, 40000) : pick(40000, 1500000));
    std::string source = TestBytes(size, seed * 1000u + static_cast<unsigned>(i));
    TestHttpServer::PutFile(name, source);
    int nfaults = pick(0, 3);
    std::string story;
    auto fault = [&](const std::string& query) {
      TestHttpServer::AddFault(name, query);
      story += " [" + query + "]";
    };
    for (int f = 0; f < nfaults; ++f, ++faults) {
      int after = size ? pick(0, static_cast<int>(size)) : 0;
      switch (pick(0, 6)) {
        case 0:
        case 1: fault("kind=cut&after=" + std::to_string(after)); break;
        case 2: fault("kind=reset&after=" + std::to_string(after)); break;
        case 3: fault("kind=stall&seconds=1.6&after=" + std::to_string(after)); break;
        // Longer than the body really sent (a server that announces less
        // than it has cannot be told from a complete answer).
        case 4: fault("kind=length&extra=" + std::to_string(pick(1, 5000))); break;
        case 5: fault(pick(0, 1) ? "kind=status&status=500" : "kind=status&status=503&method=HEAD"); break;
        case 6: fault("kind=norange"); break;
      }
    }
    bool replace = pick(0, 9) == 0;
    std::wstring target = dir.file(name);
    std::wstring url = TestHttpServer::Url(name);
    int result = -100;
    for (int run = 0; run < runs && result != 0; ++run) {
      DownloaderJobHandle job = nullptr;
      if (CreateDownloaderJob(&job, nullptr, nullptr) != 0) break;
      DownloaderJobSetTimeout(job, 1);
      DownloaderJobAddURL(job, url.c_str(), target.c_str());
      result = DownloaderJobDownload(job);
      ReleaseDownloaderJob(job);
      ++totalRuns;
      story += " run" + std::to_string(run) + "=" + std::to_string(result);
      if (run == 0 && replace && result != 0) {
        // A new version on the server between two runs (sometimes with a
        // failing HEAD, so the old record reaches the server: 412).
        source = TestBytes(size + static_cast<size_t>(pick(0, 70000)), seed * 7777u + static_cast<unsigned>(i));
        TestHttpServer::PutFile(name, source);
        story += " replaced(size " + std::to_string(source.size()) + ")";
        if (pick(0, 1)) fault("kind=status&status=500&method=HEAD");
        ++replaced;
      }
    }
    std::string local;
    bool read = ReadFileBytes(target, local);
    if (result != 0) {
      ++unfinished;
      printf("unfinished: %s (size %u) result %d\n", Narrow(name).c_str(), static_cast<unsigned>(size), result);
    } else if (!read || local != source) {
      ++mismatched;
      printf("MISMATCH: %s (size %u, local %u):%s\n", Narrow(name).c_str(),
             static_cast<unsigned>(source.size()), static_cast<unsigned>(local.size()), story.c_str());
      for (const HttpLogEntry& e : TestHttpServer::Log(name))
        printf("  %s %d sent %lld range '%s' ius '%s'\n", e.method.c_str(), e.status, e.bytesSent, e.range.c_str(),
               e.ifUnmodifiedSince.c_str());
      fflush(stdout);
    } else {
      ++identical;
    }
    DeleteFileW(target.c_str());
    if (!story.empty() && getenv("LARK_RELIABILITY_VERBOSE"))
      printf("%s size %u:%s\n", Narrow(name).c_str(), static_cast<unsigned>(source.size()), story.c_str());
  }
  printf("reliability: %d downloads, %d faults injected, %d files replaced, %d job runs; "
         "%d identical, %d mismatched, %d unfinished; %.1f s\n",
         count, faults, replaced, totalRuns, identical, mismatched, unfinished, (GetTickCount() - start) / 1000.0);
  return mismatched == 0 && unfinished == 0 ? 0 : 1;
}
