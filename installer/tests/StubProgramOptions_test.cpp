// The installer's options applied to StubProgram and the settings store,
// the usage text and the exceptions that end the program with exit code 9.
#include <gtest/gtest.h>

#include <stdexcept>

#include "installer/StubProgram.h"
#include "installer/tests/OptionsTestSupport.h"
#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"

class StubProgramTestAccess {
 public:
  static bool Parse(StubProgram& p, const std::wstring& line) { return p.ParseCommandLine(line); }
  static const std::wstring& Language(const StubProgram& p) { return p.m_language; }
  static bool Silent(const StubProgram& p) { return p.m_silent; }
  static bool NoLaunch(const StubProgram& p) { return p.m_noLaunch; }
  static bool Elevated(const StubProgram& p) { return p.m_elevated; }
  static bool ShowSettings(const StubProgram& p) { return p.m_showSettings; }
  static bool PrestubLaunched(const StubProgram& p) { return p.m_prestubLaunched; }
  static bool Vn48(const StubProgram& p) { return p.m_vn48HackForDC; }
  static bool Local(const StubProgram& p) { return p.m_local; }
  static int MinMemoryMB(const StubProgram& p) { return p.m_minMemoryMB; }
  static int MinProgramFilesMB(const StubProgram& p) { return p.m_minProgramFilesMB; }
};

namespace {

using larktest::Narrow;
using optionstest::StdoutCapture;
typedef StubProgramTestAccess Access;

class OptionsTest : public ::testing::Test {
 protected:
  OptionsTest() : scratch(L"options"), program(GetModuleHandleW(nullptr)) {}

  void SetUp() override {
    LarkProperties* p = LarkProperties::Instance();
    for (auto setter : {&LarkProperties::SetInstallerPath, &LarkProperties::SetCustomizationDirectory,
                        &LarkProperties::SetHelpDirectory, &LarkProperties::SetLocalizationDirectory,
                        &LarkProperties::SetSettingsDirectory, &LarkProperties::SetEulaDirectory,
                        &LarkProperties::SetPrivacyDirectory, &LarkProperties::SetProvisioningGroup,
                        &LarkProperties::SetUserSid})
      (p->*setter)(L"");
    p->SetLocalSources(false);
    msi = scratch.file(L"lark.msi");
    ASSERT_TRUE(larktest::WriteFileBytes(msi, std::string("msi")));
    for (const wchar_t* d : {L"cust", L"help", L"loc", L"settings", L"eula", L"privacy"}) {
      ASSERT_TRUE(CreateDirectoryW(scratch.file(d).c_str(), nullptr));
    }
  }

  // Parses and returns the exception text ("" when none) and the output.
  std::string Run(const std::wstring& arguments, std::string* output = nullptr) {
    StdoutCapture capture;
    std::string error;
    try {
      EXPECT_TRUE(Access::Parse(program, L"\"C:\\some dir\\larkstubinst.exe\" " + arguments));
    } catch (const std::exception& e) {
      error = e.what();
    }
    if (output) *output = capture.Text();
    return error;
  }

  std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

  larktest::ScratchDir scratch;
  StubProgram program;
  std::wstring msi;
};

TEST_F(OptionsTest, EveryOptionApplied) {
  std::wstring line = L"--language de --min-mem-mb 1024 --min-program-mb 300 --installer " +
                      Quoted(msi) + L" --customization-directory " + Quoted(scratch.file(L"cust")) +
                      L" --help-directory " + Quoted(scratch.file(L"help")) + L" --loc-directory " +
                      Quoted(scratch.file(L"loc")) + L" --settings-directory " +
                      Quoted(scratch.file(L"settings")) + L" --eula-directory " +
                      Quoted(scratch.file(L"eula")) + L" --privacy-directory " +
                      Quoted(scratch.file(L"privacy")) +
                      L" --provisioning-group group-7 --user-sid S-1-5-21-1-2-3-1001 --silent"
                      L" --no-launch --elevated --show-settings --prestub-launched --vn48hackfordc";
  std::string output;
  ASSERT_EQ(Run(line, &output), "");
  EXPECT_EQ(output, "");
  EXPECT_EQ(Access::Language(program), L"de");
  EXPECT_EQ(Access::MinMemoryMB(program), 1024);
  EXPECT_EQ(Access::MinProgramFilesMB(program), 300);
  EXPECT_TRUE(Access::Silent(program));
  EXPECT_TRUE(Access::NoLaunch(program));
  EXPECT_TRUE(Access::Elevated(program));
  EXPECT_TRUE(Access::ShowSettings(program));
  EXPECT_TRUE(Access::PrestubLaunched(program));
  EXPECT_TRUE(Access::Vn48(program));
  EXPECT_TRUE(Access::Local(program));
  LarkProperties* p = LarkProperties::Instance();
  EXPECT_TRUE(p->IsLocalSources());
  EXPECT_EQ(p->GetInstallerPath(), msi);
  EXPECT_EQ(p->GetCustomizationDirectory(), scratch.file(L"cust"));
  EXPECT_EQ(p->GetHelpDirectory(), scratch.file(L"help"));
  EXPECT_EQ(p->GetLocalizationDirectory(), scratch.file(L"loc"));
  EXPECT_EQ(p->GetSettingsDirectory(), scratch.file(L"settings"));
  EXPECT_EQ(p->GetEulaDirectory(), scratch.file(L"eula"));
  EXPECT_EQ(p->GetPrivacyDirectory(), scratch.file(L"privacy"));
  EXPECT_EQ(p->GetProvisioningGroup(), L"group-7");
  EXPECT_EQ(p->GetUserSid(), L"S-1-5-21-1-2-3-1001");
}

TEST_F(OptionsTest, ShortFormsAndDefaults) {
  ASSERT_EQ(Run(L"-l en -s -i " + Quoted(msi) + L" -c " + Quoted(scratch.file(L"cust"))), "");
  EXPECT_EQ(Access::Language(program), L"en");
  EXPECT_TRUE(Access::Silent(program));
  EXPECT_EQ(LarkProperties::Instance()->GetInstallerPath(), msi);
  EXPECT_EQ(LarkProperties::Instance()->GetCustomizationDirectory(), scratch.file(L"cust"));
  EXPECT_EQ(Access::MinMemoryMB(program), 256);
  EXPECT_EQ(Access::MinProgramFilesMB(program), 0);
  EXPECT_FALSE(Access::NoLaunch(program));
  EXPECT_FALSE(Access::Elevated(program));
}

TEST_F(OptionsTest, NoOptionsChangesNothing) {
  ASSERT_EQ(Run(L""), "");
  EXPECT_EQ(Access::Language(program), L"");
  EXPECT_FALSE(Access::Local(program));
  EXPECT_FALSE(LarkProperties::Instance()->IsLocalSources());
}

TEST_F(OptionsTest, MegabyteValuesAreReadAsDecimal) {
  struct Case {
    const wchar_t* value;
    int expected;
  } cases[] = {{L"abc", 0}, {L"12abc", 12}, {L"0042", 42}, {L"+7", 7}};
  for (const Case& c : cases) {
    StubProgram p(nullptr);
    StdoutCapture capture;
    ASSERT_TRUE(Access::Parse(p, std::wstring(L"x --min-program-mb ") + c.value));
    EXPECT_EQ(Access::MinProgramFilesMB(p), c.expected) << Narrow(c.value);
  }
}

TEST_F(OptionsTest, ParseErrorsPrintUsageAndRethrow) {
  struct Case {
    std::wstring arguments;
    const char* error;
  } cases[] = {
      {L"--bogus", "long option not found"},
      {L"-x", "short option not found"},
      {L"-ls", "invalid short argument"},
      {L"--language", "missing mandatory argument"},
      {L"--installer --silent", "missing mandatory argument"},
      {L"--silent --silent", "same option specified twice"},
      {L"-l de --language fr", "same option specified twice"},
      {L"--language \"de", "unexpected end of line"},
      {L"--language \"\"", "empty quoted"},
      {L"--language \"de\"x", "expected space"},
      {L"--lang\"uage\" de", "quotation in the middle of element"},
      {L"--language\tde", "long option not found"},
      {L"--provisioning-group", "missing mandatory argument"},
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(Run(c.arguments, &output), c.error) << Narrow(c.arguments);
    EXPECT_EQ(output, optionstest::kUsage) << Narrow(c.arguments);
  }
}

TEST_F(OptionsTest, MissingFilesAndFoldersEndWithTheirTexts) {
  struct Case {
    std::wstring arguments;
    const char* error;
    std::string output;
  } cases[] = {
      {L"--installer " + Quoted(scratch.file(L"cust")), "invalid path to msi file",
       "\nFile not found: " + Narrow(scratch.file(L"cust")) + "\n"},
      {L"-i missing.msi", "invalid path to msi file", "\nFile not found: missing.msi\n"},
      {L"--eula-directory " + Quoted(msi), "invalid path to EULA dir",
       "\nDir not found: " + Narrow(msi) + "\n"},
      {L"-c nowhere", "invalid path to customization dir", "\nDir not found: nowhere\n"},
      {L"--help-directory nowhere", "invalid path to help package dir", "\nDir not found: nowhere\n"},
      {L"--loc-directory nowhere", "invalid path to localization package dir",
       "\nDir not found: nowhere\n"},
      {L"--settings-directory nowhere", "invalid path to settings dir", "\nDir not found: nowhere\n"},
      {L"--privacy-directory nowhere", "invalid path to privacy policy dir",
       "\nDir not found: nowhere\n"},
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(Run(c.arguments, &output), c.error) << Narrow(c.arguments);
    EXPECT_EQ(output, c.output) << Narrow(c.arguments);
  }
}

TEST_F(OptionsTest, LocalInstallationNeedsTheInstaller) {
  std::string output;
  EXPECT_EQ(Run(L"--customization-directory " + Quoted(scratch.file(L"cust")), &output),
            "installer not specified");
  EXPECT_EQ(output, "\nYou must specify installer for local installation\n");
  EXPECT_TRUE(LarkProperties::Instance()->IsLocalSources());
}

TEST_F(OptionsTest, RelativePathsBecomeAbsolute) {
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(scratch.path().c_str()));
  std::string error = Run(L"-i lark.msi --eula-directory eula");
  SetCurrentDirectoryW(previous);
  ASSERT_EQ(error, "");
  EXPECT_EQ(LarkProperties::Instance()->GetInstallerPath(), msi);
  EXPECT_EQ(LarkProperties::Instance()->GetEulaDirectory(), scratch.file(L"eula"));
}

TEST_F(OptionsTest, FreeTextIsIgnored) {
  ASSERT_EQ(Run(L"--silent stray words --language de"), "");
  EXPECT_TRUE(Access::Silent(program));
  EXPECT_EQ(Access::Language(program), L"");  // after the first word everything is free text
}

TEST_F(OptionsTest, VeryLongValues) {
  std::wstring longValue(5000, L'x');
  ASSERT_EQ(Run(L"--language " + longValue + L" --user-sid " + longValue), "");
  EXPECT_EQ(Access::Language(program), longValue);
  EXPECT_EQ(LarkProperties::Instance()->GetUserSid(), longValue);

  StubProgram other(nullptr);
  StdoutCapture capture;
  try {
    Access::Parse(other, L"x --installer " + longValue);
    FAIL() << "no exception";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "_wfullpath failed");
  }
}

}  // namespace
