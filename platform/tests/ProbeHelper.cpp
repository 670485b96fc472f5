// Helper program for the single-instance tests. Its exit code is the answer.
//   ProbeHelper probe READY RELEASE   runs CheckRunningInstance, sets the
//                                     event READY, waits (up to 60 s) for the
//                                     event RELEASE, exits with the number
//   ProbeHelper mutex NAME STRICT     exits 1 when CreateOwnedMutex(NAME,
//                                     STRICT != 0) gave a handle, else 0
#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

#include "platform/NamedObjects.h"

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && wcscmp(argv[1], L"probe") == 0) {
    int number = CheckRunningInstance();
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, argv[3]);
    if (!ready || !release) return 100;
    SetEvent(ready);
    if (WaitForSingleObject(release, 60000) != WAIT_OBJECT_0) return 101;
    return number;
  }
  if (argc == 4 && wcscmp(argv[1], L"mutex") == 0) {
    return CreateOwnedMutex(argv[2], _wtoi(argv[3]) != 0) ? 1 : 0;
  }
  return 99;
}
