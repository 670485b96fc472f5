// Measures the logger: the cost of a call whose level is filtered out, and
// how many lines per second one process, and two processes sharing one log
// file, can write. Not a test; run it through scripts/bench-logging.sh.
//   lark_logging_bench.exe [lines]          all measurements
//   lark_logging_bench.exe write NAME N EV  (internal) one writer process
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "logging/Log.h"
#include "logging/LogSettings.h"
#include "logging/Logger.h"

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

void WriteLines(int count) {
  for (int i = 0; i < count; ++i) {
    LogW(4, L"%s: benchmark line %d of %d", L"LogBench::WriteLines", i, count);
  }
}

void RemoveLogs(const std::wstring& name) {
  wchar_t path[KhBcxLogging::kLogPathCapacity];
  if (KhBcxLogging::BuildLogFilePath(L"Lark", path, name.c_str()) > 0) {
    for (DWORD i = 0; i <= 99; ++i) {
      wchar_t rotated[KhBcxLogging::kLogPathCapacity + 8];
      if (KhBcxLogging::MakeRotatedFileName(_countof(rotated), path, rotated, i)) DeleteFileW(rotated);
    }
  }
}

int RunWriter(const wchar_t* name, int count, const wchar_t* eventName) {
  HANDLE start = OpenEventW(SYNCHRONIZE, FALSE, eventName);
  if (!start || WaitForSingleObject(start, 30000) != WAIT_OBJECT_0) return 3;
  LogInit(name);
  WriteLines(count);
  LogClose();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && wcscmp(argv[1], L"write") == 0) {
    return RunWriter(argv[2], _wtoi(argv[3]), argv[4]);
  }
  int lines = argc > 1 ? _wtoi(argv[1]) : 20000;
  std::wstring suffix = std::to_wstring(GetCurrentProcessId());

  // A filtered-out call: the log is open at the default level 4, the calls are at 5.
  std::wstring filteredName = L"bench_filtered_" + suffix;
  LogInit(filteredName.c_str());
  const int kFilteredCalls = 20000000;
  LARGE_INTEGER start = Now();
  for (int i = 0; i < kFilteredCalls; ++i) {
    LogW(5, L"%s: filtered %d", L"LogBench::Filtered", i);
  }
  double filteredSeconds = Seconds(start, Now());
  LogClose();
  RemoveLogs(filteredName);
  printf("filtered-out call: %.2f ns/call (%d calls)\n", filteredSeconds * 1e9 / kFilteredCalls, kFilteredCalls);

  // One process, default settings (100 KB files, two numbered files kept).
  std::wstring oneName = L"bench_one_" + suffix;
  LogInit(oneName.c_str());
  start = Now();
  WriteLines(lines);
  double oneSeconds = Seconds(start, Now());
  LogClose();
  RemoveLogs(oneName);
  printf("one process: %.0f lines/s (%d lines)\n", lines / oneSeconds, lines);

  // Two processes appending to one log, started together.
  std::wstring twoName = L"bench_two_" + suffix;
  std::wstring eventName = L"LarkLogBenchStart_" + suffix;
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  PROCESS_INFORMATION processes[2];
  for (auto& pi : processes) {
    std::wstring command = L"\"" + std::wstring(self) + L"\" write " + twoName + L" " + std::to_wstring(lines) +
                           L" " + eventName;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      printf("could not start a writer process (%lu)\n", GetLastError());
      return 1;
    }
  }
  // Let both processes reach their wait before the clock starts.
  Sleep(500);
  start = Now();
  SetEvent(go);
  for (auto& pi : processes) {
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  double twoSeconds = Seconds(start, Now());
  CloseHandle(go);
  RemoveLogs(twoName);
  printf("two processes, one file: %.0f lines/s together (%d lines each)\n", 2.0 * lines / twoSeconds, lines);
  return 0;
}
