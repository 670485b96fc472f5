// The new-operator road inside one process, against the stand-ins of the
// agent's two libraries placed beside this test executable: the record
// handed to the operator-configuration library, the order of the
// late-bound packages, every result code and the log lines that explain
// them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "installer/OperatorConfig.h"
#include "installer/StubProgram.h"
#include "installer/tests/OperatorTestSupport.h"
#include "settings/LarkProperties.h"
#include "testsupport/TestEnv.h"
#include "testsupport/standins_operator/OperatorStandins.h"

using operatortest::CapturedLog;
using operatortest::Contains;
using operatortest::Matching;

namespace {

OperatorConfig FilledConfig() {
  OperatorConfig config;
  OperatorConfigParams(config);
  config.operatorId = -17;
  config.lateboundTargetDir = L"C:\\ProgramData\\K-Harbor\\latebound\\100\\-17\\";
  config.uninstallation = L"Lark Agent";
  config.shortcutName = L"Lark";
  config.khDiagShortcutName = L"Lark Diagnostics";
  config.startMenuFolder = L"Lark Menu";
  config.licenseTermsHash = L"0123456789abcdef0123456789abcdef01234567";
  config.language = L"pt-BR";
  return config;
}

TEST(OperatorRecord, BorrowsEveryStringOfTheConfigInRecordOrder) {
  OperatorConfig config = FilledConfig();
  OperatorConfigInstallRecord record;
  EXPECT_EQ(&OperatorConfigurator::MakeInstallRecord(record, config), &record);
  EXPECT_EQ(record.size, sizeof(OperatorConfigInstallRecord));
  EXPECT_EQ(record.operatorId, -17);
  EXPECT_EQ(record.lateboundTargetDir, config.lateboundTargetDir.c_str());
  EXPECT_EQ(record.uninstallation, config.uninstallation.c_str());
  EXPECT_EQ(record.shortcutName, config.shortcutName.c_str());
  EXPECT_EQ(record.khDiagShortcutName, config.khDiagShortcutName.c_str());
  EXPECT_EQ(record.startMenuFolder, config.startMenuFolder.c_str());
  EXPECT_EQ(record.licenseTermsHash, config.licenseTermsHash.c_str());
  EXPECT_EQ(record.language, config.language.c_str());
}

// The agent's library reads the record by byte position, not through this
// program's declaration: the size word and each field sit where the agent
// expects them. The 32-bit product's record is nine 32-bit words; a 64-bit
// build has the natural layout with 8-byte pointers.
TEST(OperatorRecord, SizeWordAndFieldsSitAtTheAgentsByteOffsets) {
#if UINTPTR_MAX == 0xFFFFFFFFu
  const uint32_t kSize = 36;
  const size_t kOffsets[] = {8, 12, 16, 20, 24, 28, 32};
#else
  const uint32_t kSize = 64;
  const size_t kOffsets[] = {8, 16, 24, 32, 40, 48, 56};
#endif
  OperatorConfig config = FilledConfig();
  OperatorConfigInstallRecord record;
  OperatorConfigurator::MakeInstallRecord(record, config);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record);
  uint32_t size = 0;
  int32_t id = 0;
  memcpy(&size, bytes + 0, 4);
  memcpy(&id, bytes + 4, 4);
  EXPECT_EQ(size, kSize);
  EXPECT_EQ(sizeof(OperatorConfigInstallRecord), kSize);
  EXPECT_EQ(id, -17);
  const std::wstring* fields[] = {&config.lateboundTargetDir, &config.uninstallation, &config.shortcutName,
                                  &config.khDiagShortcutName, &config.startMenuFolder, &config.licenseTermsHash,
                                  &config.language};
  for (size_t i = 0; i < 7; ++i) {
    const wchar_t* text = nullptr;
    ASSERT_LE(kOffsets[i] + sizeof text, sizeof record);
    memcpy(&text, bytes + kOffsets[i], sizeof text);
    EXPECT_EQ(text, fields[i]->c_str()) << "field " << i << " at byte " << kOffsets[i];
  }
}

TEST(OperatorRecord, EmptyFieldsPointAtEmptyStrings) {
  OperatorConfig config = FilledConfig();
  OperatorConfigDestroy(config);
  OperatorConfigInstallRecord record;
  OperatorConfigurator::MakeInstallRecord(record, config);
  EXPECT_EQ(record.operatorId, 0);
  for (const wchar_t* text : {record.lateboundTargetDir, record.uninstallation, record.shortcutName,
                              record.khDiagShortcutName, record.startMenuFolder, record.licenseTermsHash,
                              record.language}) {
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text[0], L'\0');
  }
}

TEST(OperatorRecord, CopyIsFieldByFieldAndIndependent) {
  OperatorConfig source = FilledConfig();
  OperatorConfig copy;
  OperatorConfigParams(copy);
  OperatorConfigCopy(copy, source);
  OperatorConfigDestroy(source);
  OperatorConfig expected = FilledConfig();
  EXPECT_EQ(copy.operatorId, expected.operatorId);
  EXPECT_EQ(copy.lateboundTargetDir, expected.lateboundTargetDir);
  EXPECT_EQ(copy.uninstallation, expected.uninstallation);
  EXPECT_EQ(copy.shortcutName, expected.shortcutName);
  EXPECT_EQ(copy.khDiagShortcutName, expected.khDiagShortcutName);
  EXPECT_EQ(copy.startMenuFolder, expected.startMenuFolder);
  EXPECT_EQ(copy.licenseTermsHash, expected.licenseTermsHash);
  EXPECT_EQ(copy.language, expected.language);
}

TEST(OperatorRecord, LogShowsIdAndFiveNamesButNotHashOrLanguage) {
  CapturedLog log;
  logOperatorConfigStruct(FilledConfig());
  std::vector<std::wstring> lines = Matching(log.Lines(), L"logOperatorConfigStruct: ");
  std::vector<std::wstring> expected = {
      L" I logOperatorConfigStruct: Operator id: -17",
      L" I logOperatorConfigStruct: LateboundTargetDir entry name: C:\\ProgramData\\K-Harbor\\latebound\\100\\-17\\",
      L" I logOperatorConfigStruct: Uninstallation entry name: Lark Agent",
      L" I logOperatorConfigStruct: StartMenuFolder entry name: Lark Menu",
      L" I logOperatorConfigStruct: ShortcutName entry name: Lark",
      L" I logOperatorConfigStruct: KhDiagShortcutName entry name: Lark Diagnostics",
  };
  EXPECT_EQ(lines, expected);
}

// StubProgram with the settings the road reads and the stand-ins pointed
// at a journal of the test's own.
class NewOperatorTest : public ::testing::Test {
 protected:
  NewOperatorTest() : journal(L"operator-journal"), program(GetModuleHandleW(nullptr)) {}

  void SetUp() override {
    LarkProperties* p = LarkProperties::Instance();
    p->StoreProperty(L"PartnerID", L"4711", LarkProperties::CustomizedSettings);
    p->StoreProperty(L"AgentName", L"Lark Agent 4711", LarkProperties::CustomizedSettings);
    p->StoreProperty(L"Shortcutname", L"Lark 4711", LarkProperties::CustomizedSettings);
    p->StoreProperty(L"KhDiagShortcutName", L"Lark Diag", LarkProperties::CustomizedSettings);
    p->StoreProperty(L"StartMenuFolder", L"Lark Folder", LarkProperties::CustomizedSettings);
    p->SetLanguage(L"de");
    p->SetLateboundSettingsPath(L"C:\\dl\\settings.pkg");
    p->SetLateboundLocalizationPath(L"C:\\dl\\loc.pkg");
    p->SetLateboundCustomizationPath(L"C:\\dl\\cust.pkg");
    p->SetLateboundHelpPath(L"");
    target = program.GetLateboundTargetDir();
  }

  std::wstring Package(const std::wstring& path, int type) {
    return L"latebound.2|'" + path + L"'|'" + target + L"'|0|" + std::to_wstring(type);
  }
  std::wstring FullRecord(const std::wstring& entry, const std::wstring& hash) {
    return L"config." + entry + L"|" + std::to_wstring(sizeof(OperatorConfigInstallRecord)) + L"|4711|'" + target +
           L"'|'Lark Agent 4711'|'Lark 4711'|'Lark Diag'|'Lark Folder'|'" + hash + L"'|'de'";
  }
  std::wstring ReportRecord(const std::wstring& entry) {
    return L"config." + entry + L"|" + std::to_wstring(sizeof(OperatorConfigInstallRecord)) + L"|4711|'" + target +
           L"'|'Lark Agent 4711'|''|''|''|''|''";
  }

  operatorstandin::Journal journal;
  StubProgram program;
  std::wstring target;
};

TEST_F(NewOperatorTest, PackagesInOrderThenConfigurationAndSuccessReport) {
  StubProgramTestAccess::SetLicenseTermsHash(program, L"aa55");
  CapturedLog log;
  EXPECT_EQ(program.InstallNewOperator(), 0);
  std::vector<std::wstring> expected = {
      L"latebound.1",
      Package(L"C:\\dl\\settings.pkg", 3),
      Package(L"C:\\dl\\loc.pkg", 1),
      Package(L"C:\\dl\\cust.pkg", 0),
      Package(L"", 2),
      L"config.DelayLoadStub",
      FullRecord(L"install", L"aa55"),
      ReportRecord(L"succeed"),
  };
  EXPECT_EQ(journal.Calls(), expected);

  std::vector<std::wstring> lines = log.Lines();
  EXPECT_TRUE(Contains(lines, L" I StubProgram::InstallNewOperator: Installing new operator data"));
  EXPECT_TRUE(Contains(lines, L" I InstallLateboundPackage: Latebound: Installing 'C:\\dl\\settings.pkg' to '" +
                                  target + L"'..."));
  EXPECT_TRUE(Contains(lines, L" D StubProgram::ConfigureNewOperator: Configuring new operator"));
  EXPECT_TRUE(Contains(lines, L" D StubProgram::ConfigureNewOperatorSucceed: Configuring new operator Succeed"));
  // The configuration and the report are each logged once.
  EXPECT_EQ(Matching(lines, L"logOperatorConfigStruct: Operator id: 4711").size(), 2u);
  // Nothing fails but the start of the reload program, which is not
  // beside this test.
  std::vector<std::wstring> errors = {
      L"*E StubProgram::InstallNewOperator: Failed to start latebound settings loading tool"};
  EXPECT_EQ(Matching(lines, L"*E "), errors);
}

TEST_F(NewOperatorTest, ResultCodesAndWhereTheRoadStops) {
  struct Case {
    const wchar_t* key;
    int answer;
    int code;
    size_t calls;  // how many of the full sequence's calls happen
    const wchar_t* errorLine;
  };
  const Case cases[] = {
      {L"package1", 4, 9, 3, L"*E StubProgram::InstallNewOperator: failed to install install latebound type 1."},
      {L"package3", 4, 9, 2, L"*E StubProgram::InstallNewOperator: failed to install install latebound type 3."},
      {L"package3", 7, 6, 2, L"*E InstallLateboundPackage: Latebound: Failed to install C:\\dl\\settings.pkg: 7"},
      {L"package0", 1, 6, 4, L"*E StubProgram::InstallNewOperator: failed to install install latebound type 0."},
      {L"package2", 5, 6, 5, L"*E StubProgram::InstallNewOperator: failed to install install latebound type 2."},
      {L"install", 5, 6, 7, L"*E OperatorConfigurator::run: Could not configure operator, error: 5"},
      // A refused success report is only logged.
      {L"succeed", 3, 0, 8, L"*E OperatorConfigurator::succeed: Failed configure operator, error: 3"},
  };
  std::vector<std::wstring> full = {
      L"latebound.1",           Package(L"C:\\dl\\settings.pkg", 3), Package(L"C:\\dl\\loc.pkg", 1),
      Package(L"C:\\dl\\cust.pkg", 0), Package(L"", 2),            L"config.DelayLoadStub",
      FullRecord(L"install", L""), ReportRecord(L"succeed"),
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(larktest::Narrow(std::wstring(c.key) + L"=" + std::to_wstring(c.answer)));
    journal.Clear();
    journal.SetAnswer(c.key, c.answer);
    CapturedLog log;
    EXPECT_EQ(program.InstallNewOperator(), c.code);
    std::vector<std::wstring> expected(full.begin(), full.begin() + c.calls);
    if (std::wstring(c.key) == L"install") expected.push_back(ReportRecord(L"failed"));
    EXPECT_EQ(journal.Calls(), expected);
    std::vector<std::wstring> lines = log.Lines();
    EXPECT_TRUE(Contains(lines, c.errorLine));
    if (c.code != 0) {
      EXPECT_EQ(Contains(lines, L"*E StubProgram::InstallNewOperator: Failed to configure new operator"),
                std::wstring(c.key) == L"install");
    }
    journal.SetAnswer(c.key, 0);
  }
}

TEST_F(NewOperatorTest, FailedConfigurationIsReportedAndLogged) {
  journal.SetAnswer(L"install", 12);
  journal.SetAnswer(L"failed", 8);
  CapturedLog log;
  EXPECT_FALSE(program.ConfigureNewOperator());
  std::vector<std::wstring> expected = {L"config.DelayLoadStub", FullRecord(L"install", L""),
                                        ReportRecord(L"failed")};
  EXPECT_EQ(journal.Calls(), expected);
  std::vector<std::wstring> errors = Matching(log.Lines(), L"*E ");
  std::vector<std::wstring> expectedErrors = {
      L"*E OperatorConfigurator::run: Could not configure operator, error: 12",
      L"*E OperatorConfigurator::failed: Failed configure operator, error: 8",
      L"*E StubProgram::ConfigureNewOperator: Failed to configure operator. Stub is exiting.",
  };
  EXPECT_EQ(errors, expectedErrors);
}

TEST_F(NewOperatorTest, OperatorIdIsTheLeadingNumberOfPartnerId) {
  const struct {
    const wchar_t* partnerId;
    const wchar_t* id;
  } cases[] = {{L"4711", L"4711"}, {L"77abc", L"77"}, {L"abc", L"0"}, {L"", L"0"}, {L"-5", L"-5"}};
  for (const auto& c : cases) {
    LarkProperties::Instance()->StoreProperty(L"PartnerID", c.partnerId, LarkProperties::CustomizedSettings);
    journal.Clear();
    EXPECT_TRUE(program.ConfigureNewOperator());
    std::vector<std::wstring> calls = journal.Calls();
    ASSERT_EQ(calls.size(), 3u);
    for (size_t i = 1; i < 3; ++i) {
      EXPECT_EQ(calls[i].substr(0, calls[i].find(L"|'")), calls[i].substr(0, calls[i].find(L'|')) + L"|" +
                                                            std::to_wstring(sizeof(OperatorConfigInstallRecord)) +
                                                            L"|" + c.id)
          << larktest::Narrow(c.partnerId);
    }
  }
}

}  // namespace
