// Restart through a stand-in table of platform calls: what it asks of the
// platform, how it gets and gives back the shutdown privilege, and every
// failure on the way. The real ExitWindowsEx is never reached.
#include "platform/WinShutdown.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Recorder {
  int exitCalls = 0;
  UINT exitFlags = 0;
  DWORD exitReason = 0;
  BOOL exitResult = TRUE;
  int reverts = 0;
  int impersonations = 0;
  bool failThreadToken = false;
  bool failProcessToken = false;
  bool failLookup = false;
  bool failAdjust = false;
};
Recorder* g_recorder = nullptr;

BOOL WINAPI FakeExitWindowsEx(UINT flags, DWORD reason) {
  ++g_recorder->exitCalls;
  g_recorder->exitFlags = flags;
  g_recorder->exitReason = reason;
  return g_recorder->exitResult;
}
BOOL WINAPI FakeOpenThreadToken(HANDLE thread, DWORD access, BOOL self, HANDLE* token) {
  if (g_recorder->failThreadToken) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return OpenThreadToken(thread, access, self, token);
}
BOOL WINAPI FakeOpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
  if (g_recorder->failProcessToken) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return OpenProcessToken(process, access, token);
}
BOOL WINAPI FakeImpersonate(HANDLE token) {
  ++g_recorder->impersonations;
  return ImpersonateLoggedOnUser(token);
}
BOOL WINAPI FakeRevertToSelf() {
  ++g_recorder->reverts;
  return RevertToSelf();
}
BOOL WINAPI FakeLookup(LPCWSTR system, LPCWSTR name, LUID* luid) {
  if (g_recorder->failLookup) {
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
  }
  return LookupPrivilegeValueW(system, name, luid);
}
BOOL WINAPI FakeAdjust(HANDLE token, BOOL all, TOKEN_PRIVILEGES* state, DWORD length, TOKEN_PRIVILEGES* previous,
                       DWORD* returned) {
  if (g_recorder->failAdjust) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return AdjustTokenPrivileges(token, all, state, length, previous, returned);
}

// Attributes of SeShutdownPrivilege in the process token.
DWORD ShutdownPrivilegeAttributes() {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  LUID luid = {};
  LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &luid);
  DWORD size = 0;
  GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size);
  CloseHandle(token);
  const TOKEN_PRIVILEGES* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
    if (privileges->Privileges[i].Luid.LowPart == luid.LowPart &&
        privileges->Privileges[i].Luid.HighPart == luid.HighPart) {
      return privileges->Privileges[i].Attributes;
    }
  }
  return 0xFFFFFFFF;
}

bool ThreadImpersonates() {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return false;
  CloseHandle(token);
  return true;
}

class WinShutdownTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_recorder = &m_recorder;
    m_saved = CurrentShutdownApi();
    ShutdownApi& api = CurrentShutdownApi();
    api.exitWindowsEx = &FakeExitWindowsEx;
    api.openThreadToken = &FakeOpenThreadToken;
    api.openProcessToken = &FakeOpenProcessToken;
    api.impersonateLoggedOnUser = &FakeImpersonate;
    api.revertToSelf = &FakeRevertToSelf;
    api.lookupPrivilegeValue = &FakeLookup;
    api.adjustTokenPrivileges = &FakeAdjust;
  }
  void TearDown() override {
    CurrentShutdownApi() = m_saved;
    g_recorder = nullptr;
  }
  Recorder m_recorder;
  ShutdownApi m_saved;
};

TEST_F(WinShutdownTest, AsksForARebootForAnInstallationAndGivesThePrivilegeBack) {
  ASSERT_FALSE(ThreadImpersonates());
  const DWORD before = ShutdownPrivilegeAttributes();
  EXPECT_TRUE(WinShutdown::Restart());
  EXPECT_EQ(1, m_recorder.exitCalls);
  EXPECT_EQ(static_cast<UINT>(EWX_REBOOT), m_recorder.exitFlags);
  EXPECT_EQ(0x40002u, m_recorder.exitReason);
  // Without a thread token the thread impersonates the process and reverts.
  EXPECT_EQ(1, m_recorder.impersonations);
  EXPECT_EQ(1, m_recorder.reverts);
  EXPECT_FALSE(ThreadImpersonates());
  EXPECT_EQ(before, ShutdownPrivilegeAttributes());
}

TEST_F(WinShutdownTest, RefusedRestartReturnsFalseAfterReleasing) {
  m_recorder.exitResult = FALSE;
  EXPECT_FALSE(WinShutdown::Restart());
  EXPECT_EQ(1, m_recorder.exitCalls);
  EXPECT_FALSE(ThreadImpersonates());
}

TEST_F(WinShutdownTest, NoPrivilegeMeansNoRestartRequest) {
  struct Case {
    const char* name;
    bool failThread, failProcess, failLookup, failAdjust;
  } cases[] = {
      {"no token at all", true, true, false, false},
      {"no privilege id", false, false, true, false},
      {"adjust refused", false, false, false, true},
  };
  for (const Case& c : cases) {
    m_recorder = Recorder();
    m_recorder.failThreadToken = c.failThread;
    m_recorder.failProcessToken = c.failProcess;
    m_recorder.failLookup = c.failLookup;
    m_recorder.failAdjust = c.failAdjust;
    EXPECT_FALSE(WinShutdown::Restart()) << c.name;
    EXPECT_EQ(0, m_recorder.exitCalls) << c.name;
    EXPECT_EQ(m_recorder.impersonations, m_recorder.reverts) << c.name;
    EXPECT_FALSE(ThreadImpersonates()) << c.name;
  }
}

TEST_F(WinShutdownTest, ThreadThatAlreadyImpersonatesKeepsItsOwnToken) {
  ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation));
  EXPECT_TRUE(WinShutdown::Restart());
  EXPECT_EQ(0, m_recorder.impersonations);
  EXPECT_EQ(0, m_recorder.reverts);
  EXPECT_TRUE(ThreadImpersonates());
  RevertToSelf();
}

}  // namespace
