// Holds one of the installer's owned mutexes from a thread of its own for as
// long as the object lives, the way another running installer would (the
// test's own thread could simply take a mutex it owns again).
#pragma once

#include <windows.h>

#include <thread>

#include "platform/NamedObjects.h"

class MutexHolder {
 public:
  explicit MutexHolder(const wchar_t* name, bool strict = false)
      : m_release(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_thread = std::thread([=] {
      HANDLE mutex = CreateOwnedMutex(name, strict);
      SetEvent(taken);
      WaitForSingleObject(m_release, INFINITE);
      if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
      }
    });
    WaitForSingleObject(taken, INFINITE);
    CloseHandle(taken);
  }
  ~MutexHolder() {
    SetEvent(m_release);
    m_thread.join();
    CloseHandle(m_release);
  }
  MutexHolder(const MutexHolder&) = delete;
  MutexHolder& operator=(const MutexHolder&) = delete;

 private:
  HANDLE m_release;
  std::thread m_thread;
};
