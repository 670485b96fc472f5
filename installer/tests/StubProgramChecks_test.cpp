// The engine's checks and builders that need no machine-wide state: the
// elevated copy's rebuilt command line, the stub configuration address, the
// local package paths, the install requirements in silent mode, the target
// folders and starting and waiting for a program.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "installer/ExitCodes.h"
#include "installer/StubProgram.h"
#include "installer/tests/StandIn.h"
#include "platform/PathUtils.h"
#include "platform/SecurityDescriptor.h"
#include "settings/LarkProperties.h"
#include "settings/OptionParser.h"
#include "testsupport/TestEnv.h"

class StubProgramTestAccess {
 public:
  static bool Parse(StubProgram& p, const std::wstring& line) { return p.ParseCommandLine(line); }
  static int& MinProgramFilesMB(StubProgram& p) { return p.m_minProgramFilesMB; }
  static void SetSilent(StubProgram& p, bool on) { p.m_silent = on; }
  static void SetLanguage(StubProgram& p, const std::wstring& l) { p.m_language = l; }
};

namespace {

using larktest::Narrow;
using larktest::ScratchDir;
typedef StubProgramTestAccess Access;

void ClearStore() {
  LarkProperties* p = LarkProperties::Instance();
  for (auto setter : {&LarkProperties::SetInstallerPath, &LarkProperties::SetCustomizationDirectory,
                      &LarkProperties::SetHelpDirectory, &LarkProperties::SetLocalizationDirectory,
                      &LarkProperties::SetSettingsDirectory, &LarkProperties::SetEulaDirectory,
                      &LarkProperties::SetPrivacyDirectory, &LarkProperties::SetProvisioningGroup,
                      &LarkProperties::SetUserSid, &LarkProperties::SetTempDirectory,
                      &LarkProperties::SetStubConfigurationUrl})
    (p->*setter)(L"");
  p->SetLocalSources(false);
  p->SetLanguage(L"en");
}

void SetSetting(const std::wstring& key, const std::wstring& value) {
  LarkProperties::Instance()->StoreProperty(key, value, LarkProperties::CustomizedSettings);
}

class EngineChecks : public ::testing::Test {
 protected:
  EngineChecks() : scratch(L"engine checks"), program(GetModuleHandleW(nullptr)) {}
  void SetUp() override { ClearStore(); }
  void TearDown() override {
    ClearStore();
    for (const wchar_t* key : {L"diskSpace", L"ProvisioningGroup", L"StubConfigurationAddress", L"PartnerID"})
      SetSetting(key, L"");
  }

  ScratchDir scratch;
  StubProgram program;
};

std::wstring Folder(const ScratchDir& dir, const wchar_t* name) {
  const std::wstring path = dir.file(name);
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

TEST_F(EngineChecks, ElevatedCommandLineQuotesOnlyPathsAndDropsTheFirstProcessOptions) {
  const std::wstring msi = scratch.file(L"agent package.msi");
  ASSERT_TRUE(larktest::WriteFileBytes(msi, std::string("msi")));
  const std::wstring cust = Folder(scratch, L"cust dir");
  const std::wstring help = Folder(scratch, L"help");
  const std::wstring eula = Folder(scratch, L"eula dir");
  ASSERT_TRUE(Access::Parse(program, L"larkstubinst.exe --installer \"" + msi + L"\" -c \"" + cust +
                                         L"\" --help-directory \"" + help + L"\" --eula-directory \"" + eula +
                                         L"\" --silent --no-launch --min-program-mb 77 --min-mem-mb 900"
                                         L" --show-settings --prestub-launched --provisioning-group grp7"
                                         L" --user-sid S-1-5-21-forged"));
  LarkProperties::Instance()->SetLanguage(L"de");

  std::wstring sid;
  ASSERT_TRUE(GetCurrentUserSidString(sid));
  const std::wstring expected = L"--installer \"" + msi + L"\" --customization-directory \"" + cust +
                                L"\" --help-directory \"" + help + L"\" --eula-directory \"" + eula +
                                L"\" --silent --prestub-launched --language de --elevated"
                                L" --provisioning-group grp7 --user-sid " + sid;
  EXPECT_EQ(Narrow(program.BuildElevatedArguments()), Narrow(expected));

  // The copy's own parser reads the same values back, paths with blanks intact.
  std::vector<std::wstring> tokens = OptionParser::Tokenize(L"x.exe " + program.BuildElevatedArguments());
  ASSERT_GE(tokens.size(), 3u);
  EXPECT_EQ(Narrow(tokens[2]), Narrow(msi));
}

TEST_F(EngineChecks, ElevatedCommandLineWithoutLocalPathsOrGroup) {
  ASSERT_TRUE(Access::Parse(program, L"larkstubinst.exe -l fr --no-launch"));
  LarkProperties::Instance()->SetLanguage(L"fr");
  std::wstring sid;
  ASSERT_TRUE(GetCurrentUserSidString(sid));
  EXPECT_EQ(Narrow(program.BuildElevatedArguments()), Narrow(L"--language fr --elevated --user-sid " + sid));
}

TEST_F(EngineChecks, ProvisioningGroupWithABlankReachesTheCopyWhole) {
  LarkProperties::Instance()->SetProvisioningGroup(L"east wing");
  const std::vector<std::wstring> tokens =
      OptionParser::Tokenize(L"x.exe " + program.BuildElevatedArguments());
  bool found = false;
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (tokens[i] == L"--provisioning-group") {
      found = true;
      EXPECT_EQ(Narrow(tokens[i + 1]), "east wing");
    }
  }
  EXPECT_TRUE(found);
}

TEST_F(EngineChecks, StubConfigurationAddress) {
  struct Case {
    const wchar_t* option;
    const wchar_t* setting;
    const char* expected;
  } cases[] = {
      {L"", L"", "http://h:1/s/packaging/services/spi/stubconfiguration?operatorId=4711&version=55"},
      {L"", L"fromsettings",
       "http://h:1/s/packaging/services/spi/stubconfiguration?operatorId=4711&version=55"
       "&provisioningGroup=fromsettings"},
      {L"g1", L"fromsettings",
       "http://h:1/s/packaging/services/spi/stubconfiguration?operatorId=4711&version=55&provisioningGroup=g1"},
  };
  SetSetting(L"StubConfigurationAddress", L"http://h:1/s");
  SetSetting(L"PartnerID", L"4711");
  for (const Case& c : cases) {
    LarkProperties::Instance()->SetProvisioningGroup(c.option);
    SetSetting(L"ProvisioningGroup", c.setting);
    program.SetStubConfigurationServiceUrl();
    EXPECT_EQ(Narrow(LarkProperties::Instance()->GetStubConfigurationUrl()), c.expected);
  }
}

TEST_F(EngineChecks, LocalPackagePathsNameExistingFilesOnly) {
  LarkProperties* p = LarkProperties::Instance();
  const std::wstring cust = Folder(scratch, L"cust");
  const std::wstring loc = Folder(scratch, L"loc");
  const std::wstring settings = Folder(scratch, L"settings");
  ASSERT_TRUE(larktest::WriteFileBytes(cust + L"\\de_langcust.zip", std::string("c")));
  ASSERT_TRUE(larktest::WriteFileBytes(cust + L"\\en_langcust.zip", std::string("c")));
  ASSERT_TRUE(larktest::WriteFileBytes(loc + L"\\en_localization.zip", std::string("l")));  // wrong language
  ASSERT_TRUE(larktest::WriteFileBytes(settings + L"\\settings.zip", std::string("s")));
  CreateDirectoryW((settings + L"\\de_help.zip").c_str(), nullptr);
  p->SetCustomizationDirectory(cust);
  p->SetLocalizationDirectory(loc);
  p->SetSettingsDirectory(settings);
  p->SetHelpDirectory(settings);  // holds a folder named like the package
  // The start chose English; the welcome page, shown again after Back, then
  // German: the files of the language chosen last are taken.
  Access::SetLanguage(program, L"en");
  p->SetLanguage(L"de");

  std::wstring c = L"x", l = L"x", h = L"x", s = L"x";
  program.LocalLateboundPackagePaths(c, l, h, s);
  EXPECT_EQ(Narrow(c), Narrow(cust + L"\\de_langcust.zip"));
  EXPECT_EQ(l, L"");
  EXPECT_EQ(h, L"");
  EXPECT_EQ(Narrow(s), Narrow(settings + L"\\settings.zip"));
}

TEST_F(EngineChecks, SilentRequirementsCompareDiskSpaceSettingWithFreeSpace) {
  Access::SetSilent(program, true);
  struct Case {
    const wchar_t* diskSpace;
    int commandLineMB;
    bool passes;
    int minimumAfter;
  } cases[] = {
      {L"0", 999999999, true, 0},           // the setting overrides the option
      {L"", 0, true, 0},                    // nothing required
      {L"", 2000000000, false, 2000000000},  // the option alone
      {L"4000000000", 0, false, -294967296},  // unsigned: above 2^31
      {L"1", 0, true, 1},
  };
  for (const Case& c : cases) {
    SetSetting(L"diskSpace", c.diskSpace);
    Access::MinProgramFilesMB(program) = c.commandLineMB;
    EXPECT_EQ(program.CheckInstallRequirements(), c.passes) << Narrow(c.diskSpace) << " " << c.commandLineMB;
    EXPECT_EQ(Access::MinProgramFilesMB(program), c.minimumAfter);
  }
}

TEST_F(EngineChecks, LateboundTargetFolderEndsWithTheOperatorAndABackslash) {
  SetSetting(L"PartnerID", L"4711");
  wchar_t appData[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
  EXPECT_EQ(Narrow(program.GetLateboundTargetDir()),
            Narrow(std::wstring(appData) + L"\\K-Harbor\\latebound\\100\\4711\\"));
}

TEST_F(EngineChecks, LaunchProcessQuotesTheProgramAndWaitForProcessWaits) {
  // The test executable itself, copied into a folder with a blank, plays
  // a program that records its command line.
  const std::wstring exe = Folder(scratch, L"agent dir") + L"\\recorder.exe";
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  ASSERT_TRUE(CopyFileW(self, exe.c_str(), FALSE));
  const std::wstring log = scratch.file(L"trigger.log");
  SetEnvironmentVariableW(standin::kTriggerLog, log.c_str());

  const DWORD pid = program.LaunchProcess(exe, L"--open-agent page -n 60");
  ASSERT_NE(pid, 0u);
  program.WaitForProcess(pid, 10000);  // returns once the process has ended
  EXPECT_EQ(Narrow(standin::ReadLog(log)), Narrow(L"\"" + exe + L"\" --open-agent page -n 60\n"));

  EXPECT_EQ(program.LaunchProcess(scratch.file(L"missing.exe"), L"--open-agent x"), 0u);
  program.WaitForProcess(0x7ffffff0, 100);  // no such process: logged, returns
  SetEnvironmentVariableW(standin::kTriggerLog, nullptr);
}

}  // namespace
