// The first process's side of self-elevation with real processes: the test
// executable is the program that gets copied into the secure folder and
// started through the shell, and plays the elevated copy and the agent's
// "trigger.exe" (installer/tests/StandIn.h). Also the checks that read the
// installed agent's registry key and the single-instance mutexes. Serial:
// the AllowedToOperate event, the instance mutexes and the agent's key are
// machine-wide.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <thread>

#include "installer/ExitCodes.h"
#include "installer/ProgramEntry.h"
#include "installer/StubProgram.h"
#include "installer/tests/StandIn.h"
#include "platform/NamedObjects.h"
#include "platform/PathUtils.h"
#include "platform/RegKey.h"
#include "platform/SecurityDescriptor.h"
#include "settings/LarkProperties.h"
#include "testsupport/MutexHolder.h"
#include "testsupport/TestEnv.h"

class StubProgramTestAccess {
 public:
  static void Set(StubProgram& p, bool silent, bool noLaunch, bool prestub, bool elevated) {
    p.m_silent = silent;
    p.m_noLaunch = noLaunch;
    p.m_prestubLaunched = prestub;
    p.m_elevated = elevated;
  }
  static void SetTarget(StubProgram& p, const std::wstring& dir) { p.m_targetDirectory = dir; }
};

namespace {

using larktest::Narrow;
using larktest::ScratchDir;
typedef StubProgramTestAccess Access;

const wchar_t kAgentKey[] = L"SOFTWARE\\K-Harbor\\Lark Client";

bool AlwaysNotAdmin() { return false; }

void DeleteKeyTree(const wchar_t* subkey) {
  CRegKey root;
  root.Attach(HKEY_LOCAL_MACHINE);
  root.DeleteTree(subkey);
  root.Detach();
}

void SetSetting(const std::wstring& key, const std::wstring& value) {
  LarkProperties::Instance()->StoreProperty(key, value, LarkProperties::CustomizedSettings);
}

std::wstring SelfPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

class Handshake : public ::testing::Test {
 protected:
  Handshake() : scratch(L"handshake") {}
  void SetUp() override {
    LarkProperties* p = LarkProperties::Instance();
    p->SetLanguage(L"en");
    p->SetProvisioningGroup(L"");
    p->SetTempDirectory(L"");
    SetSetting(L"PartnerID", L"4711");
    target = scratch.file(L"agent");
    CreateDirectoryW(target.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(SelfPath().c_str(), (target + L"\\trigger.exe").c_str(), FALSE));
    copyLog = scratch.file(L"copy.log");
    triggerLog = scratch.file(L"trigger.log");
    SetEnvironmentVariableW(standin::kCopyLog, copyLog.c_str());
    SetEnvironmentVariableW(standin::kTriggerLog, triggerLog.c_str());
  }
  void TearDown() override {
    for (const wchar_t* name : {standin::kCopyLog, standin::kTriggerLog, standin::kCopyMode})
      SetEnvironmentVariableW(name, nullptr);
    StubProgram::s_isUserAdmin = &IsUserAdmin;
    SetSetting(L"PartnerID", L"");
  }

  // One first process against a stand-in copy in the given mode.
  int Run(const wchar_t* mode, bool silent, bool noLaunch) {
    SetEnvironmentVariableW(standin::kCopyMode, mode);
    int code;
    {
      StubProgram program(GetModuleHandleW(nullptr));
      Access::Set(program, silent, noLaunch, /*prestub=*/true, /*elevated=*/false);
      Access::SetTarget(program, target);
      program.SetUpAllowedToOperateSynchronization();
      code = program.InstallationSequenceNonElevated();
    }
    RemoveTempDirectory(LarkProperties::Instance()->GetTempDirectory());
    return code;
  }

  ScratchDir scratch;
  std::wstring target, copyLog, triggerLog;
};

TEST_F(Handshake, FirstProcessAnswersTakesTheCopysCodeAndStartsTriggerByTheRules) {
  struct Case {
    const wchar_t* mode;
    bool silent;
    bool noLaunch;
    int expected;
    bool triggerStarted;
  } cases[] = {
      {L"signal:0", false, false, 0, true},
      {L"signal:0", false, true, 0, false},   // --no-launch
      {L"signal:2", false, false, 2, false},  // reboot needed
      {L"exit:5", false, false, 5, false},    // ended without signalling
      {L"exit:77", false, false, 77, false},  // a code outside the table passes unchanged
      {L"exit:0", true, false, 0, false},     // silent: no handshake, nothing started
      {L"exit:6", true, false, 6, false},
  };
  for (const Case& c : cases) {
    DeleteFileW(copyLog.c_str());
    DeleteFileW(triggerLog.c_str());
    const std::string label = Narrow(c.mode) + (c.silent ? " silent" : "") + (c.noLaunch ? " no-launch" : "");
    EXPECT_EQ(Run(c.mode, c.silent, c.noLaunch), c.expected) << label;

    const std::wstring copyLine = standin::ReadLog(copyLog);
    EXPECT_NE(copyLine.find(L"--prestub-launched --language en --elevated --user-sid S-1-"), std::wstring::npos)
        << label << ": " << Narrow(copyLine);
    EXPECT_EQ(copyLine.find(L"--silent") != std::wstring::npos, c.silent) << label;
    // The copy runs from the secure folder, not from where the test lives.
    EXPECT_EQ(copyLine.find(SelfPath()), std::wstring::npos) << label;

    const std::wstring trigger = standin::ReadLog(triggerLog);
    if (c.triggerStarted) {
      EXPECT_EQ(Narrow(trigger),
                Narrow(L"\"" + target + L"\\trigger.exe\" --open-agent  -n 60 --operator-id 4711\n"))
          << label;
    } else {
      EXPECT_EQ(trigger, L"") << label;
    }
  }
}

TEST_F(Handshake, SilentRunWithoutAdministratorRightsStartsNoCopy) {
  StubProgram::s_isUserAdmin = &AlwaysNotAdmin;
  EXPECT_EQ(Run(L"exit:0", true, false), ExitCode::NoAdminRights);
  EXPECT_EQ(standin::ReadLog(copyLog), L"");
  EXPECT_EQ(LarkProperties::Instance()->GetTempDirectory(), L"");
}

TEST_F(Handshake, InstalledAgentPageReachesTrigger) {
  StubProgram program(GetModuleHandleW(nullptr));
  Access::SetTarget(program, target);
  program.RunPostInstallPrograms(L"showAddProductPage");
  EXPECT_EQ(Narrow(standin::ReadLog(triggerLog)),
            Narrow(L"\"" + target + L"\\trigger.exe\" --open-agent showAddProductPage -n 60 --operator-id 4711\n"));
}

TEST(SingleInstance, EachKindOfProcessTakesItsOwnMutex) {
  for (bool elevated : {false, true}) {
    {
      MutexHolder other(elevated ? kElevatedInstanceMutexName : kInstanceMutexName, elevated);
      StubProgram program(GetModuleHandleW(nullptr));
      Access::Set(program, /*silent=*/true, false, false, elevated);
      EXPECT_FALSE(program.EnsureSingleInstance()) << elevated;
    }
    {
      // The other kind's mutex does not stand in the way.
      MutexHolder other(elevated ? kInstanceMutexName : kElevatedInstanceMutexName, !elevated);
      StubProgram program(GetModuleHandleW(nullptr));
      Access::Set(program, true, false, false, elevated);
      EXPECT_TRUE(program.EnsureSingleInstance()) << elevated;
    }
  }
}

// The installed agent's key, written by the test and removed afterwards.
class AgentKey : public ::testing::Test {
 protected:
  void SetUp() override {
    // Download records alone may have left the key; an agent has a version.
    CRegKey probe;
    std::wstring version;
    if (probe.OpenKey(HKEY_LOCAL_MACHINE, kAgentKey, KEY_READ) == ERROR_SUCCESS &&
        probe.ReadString(version, L"Version") == ERROR_SUCCESS && !version.empty())
      GTEST_SKIP() << "an agent is installed in this prefix";
    DeleteKeyTree(kAgentKey);
    owned = true;
    SetSetting(L"PartnerID", L"4711");
    LarkProperties::Instance()->SetLanguage(L"en");
  }
  void TearDown() override {
    // Also runs after a skip: never remove a real agent's key.
    if (!owned) return;
    DeleteKeyTree(kAgentKey);
    DeleteKeyTree(L"SOFTWARE\\K-Harbor\\BCX\\Settings\\RK_AgentSupportsMultipleOperators");
    SetSetting(L"PartnerID", L"");
  }
  void Write(const wchar_t* name, const wchar_t* value) {
    CRegKey key;
    ASSERT_EQ(key.CreateSubKey(HKEY_LOCAL_MACHINE, kAgentKey, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr), 0);
    ASSERT_EQ(key.WriteString(value, name), 0);
  }
  void WriteDword(const wchar_t* subkey, const wchar_t* name, DWORD value) {
    CRegKey key;
    ASSERT_EQ(key.CreateSubKey(HKEY_LOCAL_MACHINE, subkey, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr), 0);
    ASSERT_EQ(key.WriteDword(value, name), 0);
  }
  bool Conflict(std::wstring* product = nullptr) {
    StubProgram program(GetModuleHandleW(nullptr));
    std::wstring name;
    bool result = program.IsStubFromAnotherOperator(name);
    if (product) *product = name;
    return result;
  }
  bool owned = false;

  bool MayContinueSilently() {
    StubProgram program(GetModuleHandleW(nullptr));
    Access::Set(program, true, false, false, false);
    return program.HandleConflictingOperator();
  }
};

TEST_F(AgentKey, AnyAgentIsInstalledWhenItsVersionIsNotEmpty) {
  StubProgram program(GetModuleHandleW(nullptr));
  EXPECT_FALSE(program.IsAgentInstalled(L""));
  Write(L"Version", L"");
  EXPECT_FALSE(program.IsAgentInstalled(L""));
  Write(L"Version", L"21.3.4");
  EXPECT_TRUE(program.IsAgentInstalled(L""));
}

TEST_F(AgentKey, AnotherOperatorsAgentIsAConflictUnlessItTakesSeveralOperators) {
  EXPECT_FALSE(Conflict());
  EXPECT_TRUE(MayContinueSilently());  // nothing installed

  Write(L"Version", L"21.3.4");
  Write(L"ProductName", L"Other Security");
  EXPECT_FALSE(Conflict());  // no PartnerID: the old id stays ours
  EXPECT_TRUE(MayContinueSilently());

  Write(L"PartnerID", L"4711");
  EXPECT_FALSE(Conflict());
  Write(L"PartnerID", L"4712");
  std::wstring product;
  EXPECT_TRUE(Conflict(&product));
  EXPECT_EQ(Narrow(product), "Other Security");
  EXPECT_FALSE(MayContinueSilently());

  const std::wstring latebound = L"SOFTWARE\\K-Harbor\\BCX\\Settings\\RK_AgentSupportsMultipleOperators";
  WriteDword(latebound.c_str(), L"value", 1);
  EXPECT_TRUE(MayContinueSilently());
  WriteDword(kAgentKey, L"AgentSupportsMultipleOperators", 0);  // the agent's own value wins
  EXPECT_FALSE(MayContinueSilently());
  WriteDword(kAgentKey, L"AgentSupportsMultipleOperators", 1);
  EXPECT_TRUE(MayContinueSilently());
}

TEST_F(AgentKey, PreviousInstallFolderIsTheTargetAndItsProgramsAreLookedFor) {
  ScratchDir dir(L"agent folder");
  Write(L"InstallPath", dir.path().c_str());
  StubProgram program(GetModuleHandleW(nullptr));
  EXPECT_FALSE(program.IsReinstall());
  EXPECT_EQ(Narrow(program.GetTargetDirectory()), Narrow(dir.path()));
  EXPECT_TRUE(program.IsReinstall());

  EXPECT_FALSE(program.CanRunPostInstallPrograms());
  ASSERT_TRUE(larktest::WriteFileBytes(dir.file(L"khhoster32.exe"), std::string("x")));
  EXPECT_FALSE(program.CanRunPostInstallPrograms());  // trigger.exe missing
  ASSERT_TRUE(larktest::WriteFileBytes(dir.file(L"trigger.exe"), std::string("x")));
  EXPECT_TRUE(program.CanRunPostInstallPrograms());
}

TEST_F(AgentKey, AnEmptyInstallPathIsNoPreviousInstallation) {
  // An agent key whose "InstallPath" is present but empty names no folder:
  // the target is the one under Program Files, and nothing is reinstalled.
  SetSetting(L"InstallDirUnderProgramFiles", L"K-Harbor\\Lark Client");
  Write(L"InstallPath", L"");
  StubProgram program(GetModuleHandleW(nullptr));
  EXPECT_EQ(Narrow(program.GetTargetDirectory()), Narrow(GetFolderPath(CSIDL_PROGRAM_FILES) + L"\\K-Harbor\\Lark Client"));
  EXPECT_FALSE(program.IsReinstall());
  SetSetting(L"InstallDirUnderProgramFiles", L"");
}

}  // namespace
