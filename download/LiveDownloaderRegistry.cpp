#include "download/LiveDownloaderRegistry.h"

#include <map>
#include <set>

#include "download/Downloader.h"

namespace khdownload {

namespace {

struct Registry {
  Registry() { InitializeCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  std::set<Downloader*> live;
  std::multimap<HINTERNET, ReadBuffer*> parked;
};

// Created on first use and deliberately never destroyed: a WinINet worker
// thread may still deliver a notification while the process runs its exit
// handlers, and must then find a valid lock and an empty set.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

class Lock {
 public:
  explicit Lock(Registry& r) : m_r(r) { EnterCriticalSection(&m_r.lock); }
  ~Lock() { LeaveCriticalSection(&m_r.lock); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  Registry& m_r;
};

}  // namespace

void LiveDownloaderRegistry::Add(Downloader* downloader) {
  Registry& r = TheRegistry();
  Lock lock(r);
  r.live.insert(downloader);
}

void LiveDownloaderRegistry::Remove(Downloader* downloader) {
  Registry& r = TheRegistry();
  Lock lock(r);
  r.live.erase(downloader);
}

void LiveDownloaderRegistry::Dispatch(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID information,
                                      DWORD length) {
  Registry& r = TheRegistry();
  Lock lock(r);
  if (status == INTERNET_STATUS_HANDLE_CLOSING) {
    auto range = r.parked.equal_range(handle);
    for (auto it = range.first; it != range.second; ++it) delete it->second;
    r.parked.erase(range.first, range.second);
  }
  Downloader* downloader = reinterpret_cast<Downloader*>(context);
  if (r.live.count(downloader)) downloader->statusCallbackInternal(handle, status, information, length);
}

void LiveDownloaderRegistry::ParkBuffer(HINTERNET request, ReadBuffer* buffer) {
  Registry& r = TheRegistry();
  Lock lock(r);
  r.parked.insert(std::make_pair(request, buffer));
}

size_t LiveDownloaderRegistry::ParkedBufferCount() {
  Registry& r = TheRegistry();
  Lock lock(r);
  return r.parked.size();
}

void CALLBACK DownloaderStatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID information,
                                       DWORD length) {
  if (context) LiveDownloaderRegistry::Dispatch(handle, context, status, information, length);
}

}  // namespace khdownload
