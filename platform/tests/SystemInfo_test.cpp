// SystemInfo: the version-record rules, the type texts, the checks over a
// given OS code, and memory and disk figures of the running system.
#include <gtest/gtest.h>

#include <climits>

#include "platform/SystemInfo.h"

namespace {

OSVERSIONINFOEXW Version(DWORD major, DWORD minor, WORD servicePack, BYTE productType) {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  info.wServicePackMajor = servicePack;
  info.wProductType = productType;
  return info;
}

const BYTE kWorkstation = VER_NT_WORKSTATION;
const BYTE kServer = VER_NT_SERVER;
const BYTE kDomainController = VER_NT_DOMAIN_CONTROLLER;

TEST(SystemInfoMapping, VersionRecords) {
  struct Case {
    const char* name;
    bool is64;
    OSVERSIONINFOEXW info;
    int expected;
  } cases[] = {
      {"XP SP1", false, Version(5, 1, 1, kWorkstation), -1},
      {"XP SP0", false, Version(5, 1, 0, kWorkstation), -1},
      {"XP SP2", false, Version(5, 1, 2, kWorkstation), 2},
      {"XP SP3", false, Version(5, 1, 3, kWorkstation), 3},
      {"XP SP4", false, Version(5, 1, 4, kWorkstation), 3},
      {"XP SP3 on a 64-bit processor", true, Version(5, 1, 3, kWorkstation), 3},
      {"XP x64 (5.2)", true, Version(5, 2, 2, kWorkstation), -1},
      {"Server 2003", false, Version(5, 2, 2, kServer), -1},
      {"Windows 2000", false, Version(5, 0, 4, kWorkstation), -1},
      {"Vista", false, Version(6, 0, 0, kWorkstation), 10},
      {"Vista SP1", false, Version(6, 0, 1, kWorkstation), 11},
      {"Vista 64 SP0", true, Version(6, 0, 0, kWorkstation), 20},
      {"Vista 64 SP2", true, Version(6, 0, 2, kWorkstation), 21},
      {"Server 2008", true, Version(6, 0, 2, kServer), -1},
      {"Windows 7", false, Version(6, 1, 0, kWorkstation), 30},
      {"Windows 7 Professional 64", true, Version(6, 1, 1, kWorkstation), 40},
      {"Windows 7.x", false, Version(7, 3, 0, kWorkstation), 30},
      {"Server 2008 R2", true, Version(6, 1, 1, kServer), -1},
      {"Domain controller 6.1", true, Version(6, 1, 1, kDomainController), -1},
      {"Windows 8", false, Version(6, 2, 0, kWorkstation), 50},
      {"Windows 8 64", true, Version(6, 2, 0, kWorkstation), 60},
      {"Server 2012", true, Version(6, 2, 0, kServer), -1},
      {"Windows 8.1", true, Version(6, 3, 0, kWorkstation), -1},
      {"Windows 10", true, Version(10, 0, 0, kWorkstation), -1},
      {"Major 8", false, Version(8, 0, 0, kWorkstation), -1},
  };
  SystemInfo system;
  for (const Case& c : cases) EXPECT_EQ(system.MapVersionToOSType(c.is64, c.info), c.expected) << c.name;
}

TEST(SystemInfoMapping, TypeTexts) {
  struct Case {
    const wchar_t* text;
    int expected;
  } cases[] = {
      {L"xp", 3},           {L"XP", 3},
      {L"vista 32bit", 10}, {L"Vista 64Bit", 20},
      {L"windows 7 32bit", 30}, {L"WINDOWS 7 64BIT", 40},
      {L"windows 8 32bit", 50}, {L"Windows 8 64bit", 60},
      {L"windows 8", -1},   {L" xp", -1},
      {L"", -1},            {L"vista  64bit", -1},
  };
  SystemInfo system;
  for (const Case& c : cases) EXPECT_EQ(system.StringToOSType(c.text), c.expected);
}

// SystemInfo with a fixed OS code, for the checks.
class FixedOS : public SystemInfo {
 public:
  explicit FixedOS(int code) : m_code(code) {}
  int GetOS() override { return m_code; }

 private:
  int m_code;
};

TEST(SystemInfoChecks, MinimumCode) {
  EXPECT_FALSE(FixedOS(11).CheckOS(30));
  EXPECT_TRUE(FixedOS(30).CheckOS(30));
  EXPECT_TRUE(FixedOS(60).CheckOS(3));
  EXPECT_FALSE(FixedOS(0).CheckOS(2));    // version unreadable fails every minimum
  EXPECT_FALSE(FixedOS(-1).CheckOS(0));
  EXPECT_TRUE(FixedOS(-1).CheckOS(-1));
}

TEST(SystemInfoChecks, TypeTextWithAndWithoutVariants) {
  struct Case {
    int current;
    const wchar_t* text;
    bool variants;
    bool expected;
  } cases[] = {
      {21, L"vista 64bit", true, true},   {21, L"VISTA 64BIT", true, true},
      {21, L"vista 64bit", false, false}, {20, L"vista 64bit", false, true},
      {11, L"vista 32bit", true, true},   {11, L"vista 32bit", false, false},
      {21, L"vista 32bit", true, false},  {40, L"windows 7 64bit", true, true},
      {30, L"windows 7 64bit", true, false}, {3, L"xp", false, true},
      {2, L"xp", true, false},            {-1, L"unknown", false, true},
      {40, L"unknown", true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FixedOS(c.current).CheckOS(c.text, c.variants), c.expected)
        << c.current << " " << c.variants;
  }
}

TEST(SystemInfoMachine, MemoryCountsInSixteenMegabyteSteps) {
  SystemInfo system;
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  unsigned long long reported = status.ullTotalPhys >> 20;
  unsigned long long counted = system.GetAmountOfMemory();
  EXPECT_EQ(counted % 16, 0u);
  EXPECT_GT(counted, reported);
  EXPECT_LE(counted, reported + 16);
  EXPECT_TRUE(system.CheckMemory(0));
  EXPECT_TRUE(system.CheckMemory(static_cast<unsigned>(counted)));
  EXPECT_FALSE(system.CheckMemory(UINT_MAX));
}

TEST(SystemInfoMachine, FreeDiskSpace) {
  SystemInfo system;
  wchar_t temp[MAX_PATH + 1];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  unsigned long long free = system.GetFreeDiskSpace(temp);
  EXPECT_NE(free, ~0ull);
  EXPECT_GT(free, 0u);
  // A drive that doesn't exist can't be measured and so passes every check.
  EXPECT_EQ(system.GetFreeDiskSpace(L"Q:\\no\\such\\folder\\"), ~0ull);
  EXPECT_TRUE(system.CheckFreeDiskSpace(0, 0));
  EXPECT_FALSE(system.CheckFreeDiskSpace(UINT_MAX, 0));
  EXPECT_FALSE(system.CheckFreeDiskSpace(0, UINT_MAX));
}

TEST(SystemInfoMachine, ArchitectureMatchesNativeSystemInfo) {
  SYSTEM_INFO native = {};
  GetNativeSystemInfo(&native);
  EXPECT_EQ(SystemInfo().Is64BitSystem(),
            native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64);
#ifdef _WIN64
  EXPECT_TRUE(SystemInfo().Is64BitSystem());
#endif
}

}  // namespace
