// The process-wide set of live Downloader objects. WinINet calls the status
// callback on its own threads, possibly after the object that started a
// request is gone; a notification reaches a Downloader only while it is
// registered, and always under the registry's lock, so removal waits for a
// notification that is being delivered.
//
// It also keeps read buffers that a Downloader had to give up while a read
// was still pending (WinINet may fill such a buffer long after the caller
// stopped waiting): they are freed when WinINet reports that their request
// handle is closing.
#pragma once

#include <windows.h>
#include <wininet.h>

namespace khdownload {

class Downloader;
struct ReadBuffer;

class LiveDownloaderRegistry {
 public:
  static void Add(Downloader* downloader);
  static void Remove(Downloader* downloader);
  // Routes one status notification to its Downloader, if still registered.
  static void Dispatch(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID information, DWORD length);
  // Hands over a buffer that a pending read on request may still write to.
  static void ParkBuffer(HINTERNET request, ReadBuffer* buffer);
  // Number of buffers still waiting for their request to close.
  static size_t ParkedBufferCount();
};

// The status callback registered on every session.
void CALLBACK DownloaderStatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID information,
                                       DWORD length);

}  // namespace khdownload
