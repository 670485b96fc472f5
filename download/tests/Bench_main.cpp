// Throughput of one download through the library, and through plain
// synchronous WinINet as a reference, with the time the library spends
// writing resume records and reporting progress measured separately.
//   download_bench lib URL TARGET        the library's Downloader as it is
//   download_bench lib-sparse URL TARGET the same with resume records written
//                                        at most every 250 ms, to show what the
//                                        32 KiB reads alone cost
//   download_bench raw URL TARGET CHUNK  plain WinINet reads of CHUNK bytes
//   download_bench store N               the cost of one resume-record write,
//                                        split into opening the store and the
//                                        four profile writes (N rounds)
// Prints one line: mode, bytes, seconds, MiB/s and, for lib, the seconds in
// resume-record writes and progress calls.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "download/Downloader.h"
#include "download/tests/DownloadTestSupport.h"
#include "testsupport/TestEnv.h"

using namespace khdownload;

namespace {

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

class TimedDownloader : public Downloader {
 public:
  explicit TimedDownloader(bool sparse) : m_sparse(sparse) {}
  double resumeSeconds = 0, progressSeconds = 0;
  int resumeWrites = 0;

 protected:
  void SaveResumeInfo() override {
    if (m_sparse && Now() - m_lastSave < 0.25) return;
    m_lastSave = Now();
    double t = Now();
    Downloader::SaveResumeInfo();
    resumeSeconds += Now() - t;
    ++resumeWrites;
  }
  void SendDownloadProgress(DWORD done, DWORD total) override {
    double t = Now();
    Downloader::SendDownloadProgress(done, total);
    progressSeconds += Now() - t;
  }

 private:
  bool m_sparse;
  double m_lastSave = 0;
};

int Progress(const wchar_t*, DWORD, DWORD, void*) { return 0; }

long long FileSize(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int Raw(const wchar_t* url, const wchar_t* target, DWORD chunk, long long& bytes) {
  HINTERNET session = InternetOpenW(L"KHDownload", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET request = InternetOpenUrlW(session, url, nullptr, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI, 0);
  if (!request) return 1;
  HANDLE file = CreateFileW(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::vector<BYTE> buffer(chunk);
  DWORD n = 0;
  bytes = 0;
  while (InternetReadFile(request, buffer.data(), chunk, &n) && n > 0) {
    DWORD written = 0;
    WriteFile(file, buffer.data(), n, &written, nullptr);
    bytes += n;
  }
  CloseHandle(file);
  InternetCloseHandle(request);
  InternetCloseHandle(session);
  return 0;
}

}  // namespace

int StoreCost(int rounds) {
  FileInfoHandler store;
  const wchar_t* url = L"http://127.0.0.1/bench-store";
  double open = 0, write = 0, t;
  for (int i = 0; i < rounds; ++i) {
    t = Now();
    if (!store.Open()) return 1;
    open += Now() - t;
    t = Now();
    store.WriteContentLength(url, 209715200);
    store.WriteSizeDownloaded(url, static_cast<DWORD>(i) * kReadChunkSize);
    store.WriteFileLocation(url, L"C:\\bench\\lib.bin");
    store.WriteLastModified(url, L"Thu, 10 Dec 2026 11:00:00 GMT");
    write += Now() - t;
  }
  printf("store %d rounds: open %.3f ms, four writes %.3f ms per record\n", rounds, open * 1000 / rounds,
         write * 1000 / rounds);
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && !wcscmp(argv[1], L"store")) return StoreCost(_wtoi(argv[2]));
  if (argc < 4) {
    fprintf(stderr, "usage: download_bench lib|raw URL TARGET [CHUNK]\n");
    return 2;
  }
  downloadtest::ResetOwnResumeFile();
  DeleteFileW(argv[3]);
  double t = Now();
  if (!wcscmp(argv[1], L"lib") || !wcscmp(argv[1], L"lib-sparse")) {
    TimedDownloader d(wcscmp(argv[1], L"lib") != 0);
    int result = d.download(argv[2], argv[3], Progress, nullptr);
    double seconds = Now() - t;
    long long bytes = FileSize(argv[3]);
    printf("%S %lld bytes %.3f s %.1f MiB/s result %d resume_writes %d resume_s %.3f progress_s %.3f\n", argv[1], bytes,
           seconds, bytes / 1048576.0 / seconds, result, d.resumeWrites, d.resumeSeconds, d.progressSeconds);
    return result;
  }
  DWORD chunk = argc > 4 ? static_cast<DWORD>(_wtoi(argv[4])) : kReadChunkSize;
  long long bytes = 0;
  int result = Raw(argv[2], argv[3], chunk, bytes);
  double seconds = Now() - t;
  printf("raw%u %lld bytes %.3f s %.1f MiB/s\n", static_cast<unsigned>(chunk), bytes, seconds,
         bytes / 1048576.0 / seconds);
  return result;
}
