// System information and the requirement checks.
#include "platform/SystemInfo.h"

#include <shlobj.h>

#include "logging/Log.h"
#include "platform/PathUtils.h"

namespace {
const unsigned long long kMegabyte = 1024ull * 1024ull;

struct OSTypeName {
  const wchar_t* text;
  int code;
};
const OSTypeName kOSTypes[] = {
    {L"xp", 3},
    {L"vista 32bit", 10},
    {L"vista 64bit", 20},
    {L"windows 7 32bit", 30},
    {L"windows 7 64bit", 40},
    {L"windows 8 32bit", 50},
    {L"windows 8 64bit", 60},
};

typedef void(WINAPI* GetNativeSystemInfoFn)(LPSYSTEM_INFO);
}  // namespace

bool SystemInfo::Is64BitSystem() {
  SYSTEM_INFO info = {};
  // Looked up at run time: Windows before XP has no GetNativeSystemInfo,
  // and only it tells a 32-bit process about a 64-bit system.
  GetNativeSystemInfoFn native = reinterpret_cast<GetNativeSystemInfoFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetNativeSystemInfo")));
  if (native) {
    native(&info);
  } else {
    GetSystemInfo(&info);
  }
  LogW(5, L"%s: processor=%d", L"SystemInfo::Is64BitSystem",
       static_cast<int>(info.wProcessorArchitecture));
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

int SystemInfo::GetOS() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return 0;
  LogW(5,
       L"%s: OS info: platformId=%d, productType=%d, majorVer:minorVer=%d:%d, "
       L"servicePackMajor:Minor=%d:%d",
       L"SystemInfo::GetOS", static_cast<int>(info.dwPlatformId),
       static_cast<int>(info.wProductType), static_cast<int>(info.dwMajorVersion),
       static_cast<int>(info.dwMinorVersion), static_cast<int>(info.wServicePackMajor),
       static_cast<int>(info.wServicePackMinor));
  if (info.dwPlatformId != VER_PLATFORM_WIN32_NT || info.dwMajorVersion < 5) return -1;
  return MapVersionToOSType(Is64BitSystem(), info);
}

int SystemInfo::MapVersionToOSType(bool is64Bit, const OSVERSIONINFOEXW& info) {
  const int base = is64Bit ? 10 : 0;
  if (IsWindows8Workstation(info)) return base + 50;
  if (IsWindows7Workstation(info)) return base + 30;
  if (IsVistaWorkstation(info)) return base + (info.wServicePackMajor != 0 ? 11 : 10);
  if (IsWindowsXP(info)) {
    if (info.wServicePackMajor >= 3) return 3;
    if (info.wServicePackMajor == 2) return 2;
    return -1;
  }
  return -1;
}

bool SystemInfo::IsWindowsXP(const OSVERSIONINFOEXW& info) {
  return info.dwMajorVersion == 5 && info.dwMinorVersion == 1;
}

bool SystemInfo::IsVistaFamily(const OSVERSIONINFOEXW& info) {
  return info.dwMajorVersion == 6 && info.dwMinorVersion == 0;
}

bool SystemInfo::IsWindows7Family(const OSVERSIONINFOEXW& info) {
  return info.dwMajorVersion == 7 || (info.dwMajorVersion == 6 && info.dwMinorVersion == 1);
}

bool SystemInfo::IsWindows8Workstation(const OSVERSIONINFOEXW& info) {
  return info.dwMajorVersion == 6 && info.dwMinorVersion == 2 &&
         info.wProductType == VER_NT_WORKSTATION;
}

bool SystemInfo::IsWindows7Workstation(const OSVERSIONINFOEXW& info) {
  return IsWindows7Family(info) && info.wProductType == VER_NT_WORKSTATION;
}

bool SystemInfo::IsVistaWorkstation(const OSVERSIONINFOEXW& info) {
  return IsVistaFamily(info) && info.wProductType == VER_NT_WORKSTATION;
}

bool SystemInfo::CheckOS(int minimum) {
  int code = GetOS();
  if (code < minimum) {
    LogW(2, L"%s: Operating System is not supported. Minimum required: %d, GetOS() returns: %d",
         L"SystemInfo::CheckOS", minimum, code);
    return false;
  }
  LogW(5, L"%s: Operating System supported. Minimum required: %d, GetOS() returns: %d",
       L"SystemInfo::CheckOS", minimum, code);
  return true;
}

bool SystemInfo::CheckOS(const std::wstring& typeText, bool acceptVariants) {
  int current = GetOS();
  int wanted = StringToOSType(typeText);
  LogW(4, L"%s: Current OS is %d", L"SystemInfo::CheckOS", current);
  if (acceptVariants) {
    if (wanted == 10) return current == 10 || current == 11;
    if (wanted == 20) return current == 20 || current == 21;
  }
  return current == wanted;
}

int SystemInfo::StringToOSType(const std::wstring& text) {
  LogW(5, L"%s: Converting %s to OS version", L"SystemInfo::StringToOSType", text.c_str());
  std::wstring lower = text;
  ToLowerInPlace(lower);
  for (const OSTypeName& type : kOSTypes) {
    if (lower == type.text) return type.code;
  }
  return -1;
}

unsigned long long SystemInfo::GetAmountOfMemory() {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);
  if (!GlobalMemoryStatusEx(&status)) {
    LogW(3, L"%s: GlobalMemoryStatusEx failed, couldn't get the amount of memory",
         L"SystemInfo::GetAmountOfMemory");
    return 0;
  }
  // The reported total lacks what the firmware keeps back; counting in
  // 16 MB steps plus one gives the installed size (2047 MB reads as 2048).
  unsigned long long mb = status.ullTotalPhys / kMegabyte;
  return mb / 16 * 16 + 16;
}

bool SystemInfo::CheckMemory(unsigned int minimumMB) {
  unsigned long long value = GetAmountOfMemory();
  if (value >= minimumMB) {
    LogW(5, L"%s: Enough memory. Minimum required: %lu, GetAmountOfMemory() returns: %I64u",
         L"SystemInfo::CheckMemory", static_cast<unsigned long>(minimumMB), value);
    return true;
  }
  LogW(2, L"%s: Not enough memory. Minimum required: %lu, GetAmountOfMemory() returns: %I64u",
       L"SystemInfo::CheckMemory", static_cast<unsigned long>(minimumMB), value);
  return false;
}

unsigned long long SystemInfo::GetFreeDiskSpace(const std::wstring& path) {
  ULARGE_INTEGER freeToCaller, total, totalFree;
  if (!GetDiskFreeSpaceExW(path.c_str(), &freeToCaller, &total, &totalFree)) return ~0ull;
  return freeToCaller.QuadPart / kMegabyte;
}

bool SystemInfo::CheckFreeDiskSpace(unsigned int programFilesMinimumMB,
                                    unsigned int tempMinimumMB) {
  const wchar_t* self = L"SystemInfo::CheckFreeDiskSpace";
  wchar_t temp[MAX_PATH + 1] = {};
  DWORD length = GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length > MAX_PATH) {
    LogW(1, L"%s: Failed to get %%TEMP%% directory", self);
    return false;
  }
  unsigned long long free = GetFreeDiskSpace(GetFolderPath(CSIDL_PROGRAM_FILES));
  if (free < programFilesMinimumMB) {
    LogW(2, L"%s: Not enough free disk space. Minimum required: %lu MB, GetFreeDiskSpace() returns: %I64d MB",
         self, static_cast<unsigned long>(programFilesMinimumMB), free);
    return false;
  }
  LogW(5,
       L"%s: Enough free disk space on drive where ProgramFiles dir is located. Minimum required: "
       L"%lu MB, GetFreeDiskSpace() returns: %I64d MB",
       self, static_cast<unsigned long>(programFilesMinimumMB), free);
  free = GetFreeDiskSpace(temp);
  if (free < tempMinimumMB) {
    LogW(2, L"%s: Not enough temp disk space. Minimum required: %lu MB, GetFreeDiskSpace() returns: %I64d MB",
         self, static_cast<unsigned long>(tempMinimumMB), free);
    return false;
  }
  LogW(5,
       L"%s: Enough free disk space on drive where Temp dir is located. Minimum required: %lu MB, "
       L"GetFreeDiskSpace() returns: %I64d MB",
       self, static_cast<unsigned long>(tempMinimumMB), free);
  return true;
}
