// Prints what SystemInfo makes of the running system, one line:
// "<os type code> <major>.<minor> sp<major> type<product type> arch<64-bit>".
// Run by the version test in a prefix set to a given Windows version.
#include <windows.h>

#include <cstdio>

#include "platform/SystemInfo.h"

int main() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
  SystemInfo system;
  std::printf("%d %lu.%lu sp%u type%u arch%d\n", system.GetOS(), info.dwMajorVersion,
              info.dwMinorVersion, info.wServicePackMajor, info.wProductType,
              system.Is64BitSystem() ? 64 : 32);
  return 0;
}
