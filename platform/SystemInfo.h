// SystemInfo: which Windows the installer runs on (as an OS type code), the
// processor's native architecture, memory and free disk space, and the
// requirement checks against the minimums from the settings. It keeps no
// data: every answer is asked of the system at the call and logged.
//
// OS type codes grow with the system so that "at least" checks compare
// codes: -1 unsupported, 0 version unreadable, 2/3 XP SP2/SP3+, 10/11 Vista
// 32-bit without/with a service pack, 20/21 the same 64-bit, 30/40 Windows 7
// 32/64-bit, 50/60 Windows 8 32/64-bit.
#pragma once

#include <windows.h>

#include <string>

class SystemInfo {
 public:
  SystemInfo() {}
  virtual ~SystemInfo() {}

  // True when the native processor architecture is x64 (also for a 32-bit
  // process on 64-bit Windows).
  virtual bool Is64BitSystem();
  virtual int GetOS();
  // The current system against a type text ("xp", "vista 64bit", ...);
  // with acceptVariants a Vista type also matches its service-pack code.
  virtual bool CheckOS(const std::wstring& typeText, bool acceptVariants);
  // GetOS() >= minimum.
  virtual bool CheckOS(int minimum);
  virtual bool CheckMemory(unsigned int minimumMB);
  // Program Files drive first, then the temporary folder's drive.
  virtual bool CheckFreeDiskSpace(unsigned int programFilesMinimumMB, unsigned int tempMinimumMB);
  // Physical memory in MB as the checks count it (rounded to 16 MB steps).
  virtual unsigned long long GetAmountOfMemory();
  // MB free to the caller on path's drive; all bits set when unknown.
  virtual unsigned long long GetFreeDiskSpace(const std::wstring& path);
  virtual int StringToOSType(const std::wstring& text);
  virtual bool IsWindows7Workstation(const OSVERSIONINFOEXW& info);
  virtual bool IsWindows8Workstation(const OSVERSIONINFOEXW& info);
  virtual bool IsWindows7Family(const OSVERSIONINFOEXW& info);
  virtual bool IsVistaWorkstation(const OSVERSIONINFOEXW& info);
  virtual bool IsVistaFamily(const OSVERSIONINFOEXW& info);
  virtual bool IsWindowsXP(const OSVERSIONINFOEXW& info);
  virtual int MapVersionToOSType(bool is64Bit, const OSVERSIONINFOEXW& info);
};
