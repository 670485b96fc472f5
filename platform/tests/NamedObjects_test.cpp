// CreateOwnedMutex with names unique to each test: ownership, refusal
// without waiting, and the access lists that the mutexes carry.
#include "platform/NamedObjects.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "platform/tests/AclCheck.h"
#include "testsupport/TestEnv.h"

namespace {

const wchar_t kMutex[] =
    L"D:(D;OICI;GA;;;AN)(A;OICI;GA;;;BA)(A;OICI;GA;;;LA)(A;OICI;GA;;;SY)(A;OICI;GRGWGX;;;AU)"
    L"(A;OICI;GRGWGX;;;BU)(A;OICI;GRGWGX;;;BG)";
const wchar_t kStrictMutex[] =
    L"D:(D;OICI;GA;;;BG)(D;OICI;GA;;;AN)(D;OICI;GA;;;NU)(A;OICI;GA;;;BA)(A;OICI;GA;;;LA)(A;OICI;GA;;;SY)";

std::wstring TestMutexName() { return L"Global\\" + larktest::UniqueName(L"lark-platform-test-"); }

DWORD RunHelper(const std::wstring& arguments) {
  larktest::ProcessResult r =
      larktest::RunProcess(L"\"" + larktest::BuiltExe(L"platform_probe_helper") + L"\" " + arguments);
  EXPECT_TRUE(r.started);
  EXPECT_FALSE(r.timedOut);
  return r.exitCode;
}

}  // namespace

TEST(CreateOwnedMutexTest, CarriesTheChosenAccessList) {
  struct Case {
    bool strict;
    const wchar_t* sddl;
  } cases[] = {{false, kMutex}, {true, kStrictMutex}};
  for (const Case& c : cases) {
    HANDLE mutex = CreateOwnedMutex(TestMutexName(), c.strict);
    ASSERT_NE(mutex, nullptr);
    acltest::Dacl actual = acltest::OfKernelObject(mutex, acltest::MutexMapping());
    acltest::Dacl expected = acltest::FromSddlText(c.sddl, acltest::MutexMapping());
    ASSERT_TRUE(actual.read);
    EXPECT_FALSE(actual.isProtected);
    EXPECT_EQ(actual.aces, expected.aces) << "strict " << c.strict << "\nactual:   " << acltest::Describe(actual)
                                          << "\nexpected: " << acltest::Describe(expected);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
}

TEST(CreateOwnedMutexTest, OwnedByTheCallerAndRefusedToOthersWithoutWaiting) {
  std::wstring name = TestMutexName();
  HANDLE mutex = CreateOwnedMutex(name, false);
  ASSERT_NE(mutex, nullptr);
  // The calling thread owns it: a recursive wait succeeds at once.
  EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  ReleaseMutex(mutex);

  HANDLE fromOtherThread = INVALID_HANDLE_VALUE;
  DWORD elapsed = 0;
  std::thread other([&] {
    DWORD start = GetTickCount();
    fromOtherThread = CreateOwnedMutex(name, false);
    elapsed = GetTickCount() - start;
  });
  other.join();
  EXPECT_EQ(fromOtherThread, nullptr);
  EXPECT_LT(elapsed, 1000u);

  // Another process is refused as well, for both lists.
  EXPECT_EQ(RunHelper(L"mutex " + name + L" 0"), 0u);
  std::wstring strictName = TestMutexName();
  HANDLE strict = CreateOwnedMutex(strictName, true);
  ASSERT_NE(strict, nullptr);
  EXPECT_EQ(RunHelper(L"mutex " + strictName + L" 1"), 0u);

  ReleaseMutex(mutex);
  CloseHandle(mutex);
  ReleaseMutex(strict);
  CloseHandle(strict);
  // Once released and closed here, the helper gets it.
  EXPECT_EQ(RunHelper(L"mutex " + name + L" 0"), 1u);
}

TEST(CreateOwnedMutexTest, AnExistingUnownedMutexIsTaken) {
  std::wstring name = TestMutexName();
  HANDLE existing = CreateMutexW(nullptr, FALSE, name.c_str());
  ASSERT_NE(existing, nullptr);
  HANDLE mutex = CreateOwnedMutex(name, true);
  EXPECT_NE(mutex, nullptr);
  std::thread other([&] { EXPECT_EQ(WaitForSingleObject(existing, 0), static_cast<DWORD>(WAIT_TIMEOUT)); });
  other.join();
  if (mutex) CloseHandle(mutex);
  CloseHandle(existing);
}

TEST(CreateOwnedMutexTest, AMutexWhoseListShutsTheCallerOutCountsAsHeld) {
  // What a copy without administrator rights meets when an elevated copy
  // holds the strict mutex: CreateMutexW is refused, nothing is waited for.
  std::wstring name = TestMutexName();
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;GA;;;WD)", SDDL_REVISION_1, &sd, nullptr));
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd, FALSE};
  HANDLE guarded = CreateMutexW(&attributes, FALSE, name.c_str());
  LocalFree(sd);
  ASSERT_NE(guarded, nullptr);
  DWORD start = GetTickCount();
  EXPECT_EQ(CreateOwnedMutex(name, false), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_LT(GetTickCount() - start, 1000u);
  CloseHandle(guarded);
}

TEST(CreateOwnedMutexTest, AnInvalidNameGivesNull) {
  EXPECT_EQ(CreateOwnedMutex(L"Global\\no\\such\\namespace\\" + larktest::UniqueName(L"x"), false), nullptr);
}
