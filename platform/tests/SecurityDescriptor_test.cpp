// Access lists built from SDDL and applied to real folders and files, the
// administrator test, the user's SID text and the ownership descriptor.
#include "platform/SecurityDescriptor.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/PathUtils.h"
#include "platform/tests/AclCheck.h"
#include "testsupport/TestEnv.h"

using larktest::Narrow;
using larktest::ScratchDir;

namespace {

const wchar_t kEveryoneFull[] = L"D:(A;OICI;GA;;;WD)";
const wchar_t kRestricted[] =
    L"D:(D;OICI;GA;;;AN)(D;OICI;GA;;;NU)(D;OICI;GA;;;LS)(A;OICI;0x1200a9;;;BG)(A;OICI;0x1200a9;;;BU)"
    L"(A;OICI;GA;;;BA)(A;OICI;GA;;;LA)(A;OICI;GA;;;SY)";
const wchar_t kMutex[] =
    L"D:(D;OICI;GA;;;AN)(A;OICI;GA;;;BA)(A;OICI;GA;;;LA)(A;OICI;GA;;;SY)(A;OICI;GRGWGX;;;AU)"
    L"(A;OICI;GRGWGX;;;BU)(A;OICI;GRGWGX;;;BG)";
const wchar_t kStrictMutex[] =
    L"D:(D;OICI;GA;;;BG)(D;OICI;GA;;;AN)(D;OICI;GA;;;NU)(A;OICI;GA;;;BA)(A;OICI;GA;;;LA)(A;OICI;GA;;;SY)";

typedef bool (SecurityDescriptorHolder::*Builder)();

struct ListCase {
  const char* name;
  Builder build;
  const wchar_t* sddl;
  bool isProtected;
};

const ListCase kLists[] = {
    {"EveryoneFull", &SecurityDescriptorHolder::SetEveryoneFullAccess, kEveryoneFull, true},
    {"Restricted", &SecurityDescriptorHolder::SetRestrictedAccess, kRestricted, true},
    {"Mutex", &SecurityDescriptorHolder::SetMutexAccess, kMutex, false},
    {"StrictMutex", &SecurityDescriptorHolder::SetStrictMutexAccess, kStrictMutex, false},
};

// The process token's user SID, read here without the code under test.
std::wstring TokenUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return L"";
  BYTE buffer[512];
  DWORD size = 0;
  std::wstring text;
  if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
    text = acltest::SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
  CloseHandle(token);
  return text;
}

// The list a folder private to the current user carries.
std::wstring PrivateList() {
  return L"D:(A;OICI;GA;;;" + TokenUserSid() + L")(A;OICI;GA;;;BA)(A;OICI;GA;;;SY)";
}

bool AllowsEveryone(const acltest::Dacl& d) {
  if (d.isNull) return true;
  for (const acltest::Ace& ace : d.aces) {
    if (ace.type == ACCESS_ALLOWED_ACE_TYPE && ace.sid == L"S-1-1-0") return true;
  }
  return false;
}

// Whether this file system keeps a file's access list as it was written.
// Wine's server may keep only what Unix mode bits can express; then the
// tests compare what survives: whether everyone has access.
bool FileAclsPersist() {
  static int persists = -1;
  if (persists < 0) {
    ScratchDir scratch(L"acl-probe");
    PSECURITY_DESCRIPTOR sd = nullptr;
    const wchar_t probe[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
    ConvertStringSecurityDescriptorToSecurityDescriptorW(probe, SDDL_REVISION_1, &sd, nullptr);
    SetFileSecurityW(scratch.path().c_str(), DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
    acltest::Dacl back = acltest::OfFile(scratch.path());
    persists = back.isProtected && back.aces == acltest::FromSddlText(probe, acltest::FileMapping()).aces;
  }
  return persists != 0;
}

void ExpectFolderHasList(const std::wstring& path, const wchar_t* sddl) {
  acltest::Dacl actual = acltest::OfFile(path);
  acltest::Dacl expected = acltest::FromSddlText(sddl, acltest::FileMapping());
  ASSERT_TRUE(actual.read) << Narrow(path);
  ASSERT_FALSE(expected.aces.empty());
  if (!FileAclsPersist()) {
    EXPECT_EQ(AllowsEveryone(actual), AllowsEveryone(expected)) << "actual:   " << acltest::Describe(actual)
                                                                 << "\nexpected: " << acltest::Describe(expected);
    return;
  }
  EXPECT_TRUE(actual.isProtected) << acltest::Describe(actual);
  EXPECT_EQ(actual.aces, expected.aces) << "actual:   " << acltest::Describe(actual)
                                        << "\nexpected: " << acltest::Describe(expected);
  for (const acltest::Ace& ace : actual.aces) EXPECT_EQ(ace.flags & INHERITED_ACE, 0);
}

}  // namespace

TEST(SecurityDescriptorHolderTest, FixedListsCarryTheirTextAndProtection) {
  if (!FileAclsPersist()) {
    RecordProperty("file_acls", "reduced to Unix mode bits; folder lists compared by world access only");
  }
  for (const ListCase& c : kLists) {
    SecurityDescriptorHolder holder;
    ASSERT_TRUE((holder.*c.build)()) << c.name;
    ASSERT_FALSE(holder.IsEmpty());
    SECURITY_ATTRIBUTES* attributes = holder.Attributes();
    EXPECT_EQ(attributes->nLength, sizeof(SECURITY_ATTRIBUTES));
    EXPECT_FALSE(attributes->bInheritHandle);
    ASSERT_NE(attributes->lpSecurityDescriptor, nullptr);
    EXPECT_TRUE(IsValidSecurityDescriptor(attributes->lpSecurityDescriptor));
    // Compared without mapping: the holder's descriptor is exactly the text.
    GENERIC_MAPPING identity = {GENERIC_READ, GENERIC_WRITE, GENERIC_EXECUTE, GENERIC_ALL};
    acltest::Dacl own = acltest::FromDescriptor(holder.Descriptor(), identity);
    acltest::Dacl expected = acltest::FromSddlText(c.sddl, identity);
    EXPECT_EQ(own.aces, expected.aces) << c.name << ": " << acltest::Describe(own);
    EXPECT_EQ(own.isProtected, c.isProtected) << c.name;
    std::wstring prefix = c.isProtected ? L"D:P" : L"D:";
    EXPECT_EQ(own.sddl.substr(0, prefix.size()), prefix) << c.name << ": " << Narrow(own.sddl);
    holder.Free();
    EXPECT_TRUE(holder.IsEmpty());
    holder.Free();  // harmless when empty
  }
}

TEST(SecurityDescriptorHolderTest, PrivateFolderTextNamesTheUserAdministratorsAndSystem) {
  EXPECT_EQ(Narrow(PrivateFolderSddl(L"S-1-5-21-11-22-33-1001")),
            "D:(A;OICI;GA;;;S-1-5-21-11-22-33-1001)(A;OICI;GA;;;BA)(A;OICI;GA;;;SY)");
}

TEST(SecurityDescriptorHolderTest, FileSecurityListFollowsTheAdministratorState) {
  const std::wstring user = TokenUserSid();
  ASSERT_EQ(user.substr(0, 4), L"S-1-") << Narrow(user);
  const std::wstring privateList = PrivateList();
  const struct {
    bool administrator;
    const wchar_t* sddl;
  } kCases[] = {{true, kRestricted}, {false, privateList.c_str()}};
  GENERIC_MAPPING identity = {GENERIC_READ, GENERIC_WRITE, GENERIC_EXECUTE, GENERIC_ALL};
  for (const auto& c : kCases) {
    SecurityDescriptorHolder holder;
    ASSERT_TRUE(BuildFileSecurity(holder, c.administrator)) << c.administrator;
    ASSERT_TRUE(IsValidSecurityDescriptor(holder.Descriptor()));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(holder.Descriptor(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << c.administrator;
    acltest::Dacl own = acltest::FromDescriptor(holder.Descriptor(), identity);
    EXPECT_EQ(own.aces, acltest::FromSddlText(c.sddl, identity).aces)
        << c.administrator << ": " << acltest::Describe(own);
    if (!c.administrator) {
      // Nobody but the user, the Administrators group and the system, each
      // with all access to the folder and what it will hold.
      acltest::Dacl mapped = acltest::FromDescriptor(holder.Descriptor(), acltest::FileMapping());
      ASSERT_EQ(mapped.aces.size(), 3u) << acltest::Describe(mapped);
      EXPECT_EQ(mapped.aces[0].sid, user);
      EXPECT_EQ(mapped.aces[1].sid, L"S-1-5-32-544");
      EXPECT_EQ(mapped.aces[2].sid, L"S-1-5-18");
      for (const acltest::Ace& ace : mapped.aces) {
        EXPECT_EQ(ace.type, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(ace.mask, static_cast<DWORD>(FILE_ALL_ACCESS));
        EXPECT_EQ(ace.flags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
      }
    }
    holder.Free();
  }
}

TEST(SecurityDescriptorHolderTest, LocalAdministratorIsResolved) {
  // The restricted and mutex lists name the machine's own administrator
  // account; its SID ends with the well-known RID 500.
  acltest::Dacl d = acltest::FromSddlText(L"D:(A;;GA;;;LA)", acltest::FileMapping());
  ASSERT_EQ(d.aces.size(), 1u);
  EXPECT_EQ(d.aces[0].sid.substr(0, 9), L"S-1-5-21-") << Narrow(d.aces[0].sid);
  EXPECT_EQ(d.aces[0].sid.substr(d.aces[0].sid.size() - 4), L"-500") << Narrow(d.aces[0].sid);
}

TEST(SecurityDescriptorHolderTest, MalformedTextLeavesTheHolderEmpty) {
  for (const wchar_t* bad : {L"D:(A;OICI;GA;;;NOPE)", L"not sddl at all", L"D:(A;OICI"}) {
    SecurityDescriptorHolder holder;
    ASSERT_TRUE(holder.SetEveryoneFullAccess());
    EXPECT_FALSE(holder.FromSddl(bad, false)) << Narrow(bad);
    EXPECT_TRUE(holder.IsEmpty());
    EXPECT_FALSE(holder.ApplyToFile(L"C:\\"));
    holder.Free();
  }
  SecurityDescriptorHolder holder;
  EXPECT_FALSE(holder.FromSddl(nullptr, true));
  EXPECT_TRUE(holder.IsEmpty());
}

TEST(SecurityDescriptorHolderTest, ResetHoldsARecordWithoutDescriptor) {
  SecurityDescriptorHolder holder;
  holder.Reset();
  ASSERT_FALSE(holder.IsEmpty());
  EXPECT_EQ(holder.Attributes()->nLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_EQ(holder.Descriptor(), nullptr);
  EXPECT_FALSE(holder.ApplyToFile(L"C:\\"));
  holder.Free();
}

class FolderAclTest : public ::testing::Test {
 protected:
  ScratchDir scratch_{L"acl"};
  std::wstring NewFolder(const wchar_t* name) {
    std::wstring path = scratch_.file(name);
    EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    return path;
  }
};

TEST_F(FolderAclTest, ProtectedListsReplaceWhatTheFolderWouldInherit) {
  for (const ListCase& c : {kLists[0], kLists[1]}) {
    std::wstring folder = NewFolder(larktest::Widen(c.name).c_str());
    SecurityDescriptorHolder holder;
    ASSERT_TRUE((holder.*c.build)());
    EXPECT_TRUE(holder.ApplyToFile(folder.c_str())) << c.name << " " << GetLastError();
    holder.Free();
    ExpectFolderHasList(folder, c.sddl);
  }
}

TEST_F(FolderAclTest, ANonAdministratorsFolderIsClosedToEveryoneElse) {
  // The list FileSecurity gives a process without administrator rights
  // (Wine's user always has them, so it is built for that state directly).
  std::wstring folder = NewFolder(L"private");
  SecurityDescriptorHolder holder;
  ASSERT_TRUE(BuildFileSecurity(holder, false));
  EXPECT_TRUE(holder.ApplyToFile(folder.c_str())) << GetLastError();
  holder.Free();
  ExpectFolderHasList(folder, PrivateList().c_str());
}

TEST_F(FolderAclTest, ApplyToFileRejectsANullPathAndAMissingFile) {
  SecurityDescriptorHolder holder;
  ASSERT_TRUE(holder.SetEveryoneFullAccess());
  EXPECT_FALSE(holder.ApplyToFile(nullptr));
  EXPECT_FALSE(holder.ApplyToFile(scratch_.file(L"missing").c_str()));
  holder.Free();
}

TEST_F(FolderAclTest, ReadFromFileCopiesAnAccessListToAnotherFile) {
  std::wstring source = NewFolder(L"source");
  std::wstring target = NewFolder(L"target");
  SecurityDescriptorHolder holder;
  ASSERT_TRUE(holder.SetRestrictedAccess());
  ASSERT_TRUE(holder.ApplyToFile(source.c_str()));
  holder.Free();

  SecurityDescriptorHolder saved;
  ASSERT_TRUE(saved.ReadFromFile(source.c_str()));
  ASSERT_NE(saved.Descriptor(), nullptr);
  EXPECT_EQ(saved.Attributes()->nLength, GetSecurityDescriptorLength(saved.Descriptor()));
  EXPECT_TRUE(saved.ApplyToFile(target.c_str()));
  saved.Free();
  ExpectFolderHasList(target, kRestricted);
}

TEST_F(FolderAclTest, ReadFromFileOfAMissingFileLeavesTheHolderEmpty) {
  SecurityDescriptorHolder holder;
  ASSERT_TRUE(holder.SetEveryoneFullAccess());
  EXPECT_FALSE(holder.ReadFromFile(scratch_.file(L"missing").c_str()));
  EXPECT_TRUE(holder.IsEmpty());
  EXPECT_FALSE(holder.ReadFromFile(nullptr));
  holder.Free();
}

TEST_F(FolderAclTest, FileSecurityChoosesTheListByAdministratorRights) {
  std::wstring folder = NewFolder(L"secured");
  EXPECT_TRUE(FileSecurity(folder.c_str()));
  ExpectFolderHasList(folder, IsAdministratorsMember() ? kRestricted : PrivateList().c_str());
  EXPECT_FALSE(FileSecurity(nullptr));
  EXPECT_FALSE(FileSecurity(scratch_.file(L"missing").c_str()));
}

TEST(WorkingFolderTest, SecureTempDirectoryHasTheRestrictedList) {
  std::wstring path = CreateSecureTempDirectory(L"khc");
  DWORD attributes = GetFileAttributesW(path.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  ExpectFolderHasList(path, IsAdministratorsMember() ? kRestricted : PrivateList().c_str());
  RemoveDirectoryW(path.c_str());
}

TEST(WorkingFolderTest, DownloadDirectoryLivesInCommonAppDataWithTheChosenList) {
  std::wstring downloads = CreateDownloadDirectory();
  std::wstring appData = GetFolderPath(CSIDL_COMMON_APPDATA);
  EXPECT_EQ(downloads, appData + L"\\K-Harbor\\Lark\\Downloads");
  const wchar_t* expected = IsAdministratorsMember() ? kRestricted : kEveryoneFull;
  ExpectFolderHasList(downloads, expected);
  ExpectFolderHasList(appData + L"\\K-Harbor\\Lark", expected);
  // A second call finds the folders and keeps them.
  EXPECT_EQ(CreateDownloadDirectory(), downloads);
}

TEST(AdminTest, TheThreeNamesAgreeAndWineRunsAsAdministrator) {
  bool admin = IsUserAdmin();
  EXPECT_EQ(IsAdministratorsMember(), admin);
  AdminCheck check;
  EXPECT_EQ(check.IsAdmin(), admin);
  // Under Wine the user is an administrator with an unfiltered token.
  EXPECT_TRUE(admin);
}

TEST(UserSidTest, MatchesTheAccountOfTheLoggedOnUser) {
  std::wstring sid = L"unchanged";
  ASSERT_TRUE(GetCurrentUserSidString(sid));
  EXPECT_EQ(sid.substr(0, 4), L"S-1-") << Narrow(sid);

  wchar_t user[256];
  DWORD userLength = 256;
  ASSERT_TRUE(GetUserNameW(user, &userLength));
  BYTE sidBuffer[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof sidBuffer;
  wchar_t domain[256];
  DWORD domainLength = 256;
  SID_NAME_USE use;
  ASSERT_TRUE(LookupAccountNameW(nullptr, user, sidBuffer, &sidSize, domain, &domainLength, &use));
  EXPECT_EQ(sid, acltest::SidText(sidBuffer));
}

TEST(PrivilegeTest, TakeOwnershipNeedsATokenThatMayAdjustPrivileges) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
  EXPECT_TRUE(EnableTakeOwnershipPrivilege(token));
  CloseHandle(token);

  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  EXPECT_FALSE(EnableTakeOwnershipPrivilege(token));
  CloseHandle(token);
  EXPECT_FALSE(EnableTakeOwnershipPrivilege(nullptr));
}

TEST(OwnershipDescriptorTest, WritableFileGetsANullListWithoutAnOwnerChange) {
  ScratchDir scratch(L"owner");
  std::wstring file = scratch.file(L"hosts");
  ASSERT_TRUE(larktest::WriteFileBytes(file, std::string("127.0.0.1 localhost\r\n")));

  auto ownerOf = [](const std::wstring& path) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    std::wstring text;
    if (GetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                              &owner, nullptr, nullptr, nullptr, &sd) == ERROR_SUCCESS) {
      text = acltest::SidText(owner);
      LocalFree(sd);
    }
    return text;
  };
  std::wstring ownerBefore = ownerOf(file);

  OwnershipDescriptor ownership;
  // Start from a list that shuts everyone else out.
  SecurityDescriptorHolder closed;
  ASSERT_TRUE(closed.FromSddl(L"D:P(A;;FA;;;BA)(A;;FA;;;SY)", false));
  ASSERT_TRUE(closed.ApplyToFile(file.c_str()));
  closed.Free();
  ASSERT_FALSE(AllowsEveryone(acltest::OfFile(file)));

  EXPECT_EQ(ownership.ApplyToFile(file.c_str()), 0u);
  acltest::Dacl after = acltest::OfFile(file);
  ASSERT_TRUE(after.read);
  if (FileAclsPersist()) {
    EXPECT_TRUE(after.isNull) << acltest::Describe(after);
  } else {
    EXPECT_TRUE(AllowsEveryone(after)) << acltest::Describe(after);
  }
  EXPECT_EQ(ownerOf(file), ownerBefore);

  EXPECT_EQ(ownership.ApplyToFile(nullptr), 2u);
}

TEST(OwnershipDescriptorTest, MissingFileFailsWhenWritingTheOwner) {
  ScratchDir scratch(L"owner-missing");
  OwnershipDescriptor ownership;
  EXPECT_EQ(ownership.ApplyToFile(scratch.file(L"missing").c_str()), 5u);
}
