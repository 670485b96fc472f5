// Writes numbered lines to a log through the process-wide logger, for the
// tests that run several writer processes against one log file.
//   LogWriterHelper.exe <log name> <writer tag> <line count> [<start event> [noclose]]
// With a start event name (or "-" for none) it waits (up to 10 s) for that
// event before the first line, so that all writers start together; with
// "noclose" it leaves the log open for the exit-time clean-up.
#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

#include "logging/Log.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    return 2;
  }
  const wchar_t* logName = argv[1];
  const wchar_t* tag = argv[2];
  int count = _wtoi(argv[3]);
  if (argc >= 5 && wcscmp(argv[4], L"-") != 0) {
    HANDLE start = OpenEventW(SYNCHRONIZE, FALSE, argv[4]);
    if (!start || WaitForSingleObject(start, 10000) != WAIT_OBJECT_0) {
      return 3;
    }
    CloseHandle(start);
  }
  LogInit(logName);
  for (int i = 0; i < count; ++i) {
    LogW(4, L"%s: %s line %d", L"LogWriterHelper::Main", tag, i);
  }
  if (argc < 6 || wcscmp(argv[5], L"noclose") != 0) {
    LogClose();
  }
  return 0;
}
