// The end-to-end fixtures themselves: the stand-ins log their starts, the
// agent package installs the stand-ins and the agent's registry and leaves
// nothing behind when removed, the server answers as the stub
// configuration service, and operator builds carry the settings given.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include "testsupport/TestEnv.h"
#include "testsupport/agent/AgentFixtures.h"
#include "testsupport/httpserver/TestHttpServer.h"

using namespace larktest;

namespace {

std::wstring ReadAgentValue(const std::wstring& subkey, const std::wstring& name, bool* found) {
  wchar_t buffer[1024] = L"";
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  *found = SHGetValueW(HKEY_LOCAL_MACHINE, subkey.c_str(), name.c_str(), nullptr, buffer, &size) == ERROR_SUCCESS;
  return buffer;
}

bool KeyExists(const std::wstring& subkey) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

TEST(AgentStandIns, EveryProgramLogsItsStartAndExitsZero) {
  ScratchDir dir(L"standins");
  ASSERT_TRUE(CopyAgentStandIns(dir.path()));
  AgentStartLog starts(L"fixture");
  for (const wchar_t* program : kAgentPrograms) {
    std::wstring command = L"\"" + dir.file(program) + L"\" --operator-id 4711 \"two words\"";
    ProcessResult r = RunProcess(command);
    ASSERT_TRUE(r.started) << Narrow(program);
    EXPECT_EQ(r.exitCode, 0u) << Narrow(program);
  }
  std::vector<AgentStart> logged = starts.Read();
  ASSERT_EQ(logged.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(logged[i].program, kAgentPrograms[i]);
    EXPECT_EQ(logged[i].commandLine, L"\"" + dir.file(kAgentPrograms[i]) + L"\" --operator-id 4711 \"two words\"");
    EXPECT_NE(logged[i].processId, 0u);
    EXPECT_EQ(logged[i].time.size(), 23u) << Narrow(logged[i].time);
  }
}

class AgentPackage : public ::testing::Test {
 protected:
  void SetUp() override { RemoveInstalledAgent(); }
  void TearDown() override { RemoveInstalledAgent(); }
  ProcessResult Install(const std::wstring& variant, const std::wstring& properties) {
    return RunProcess(L"msiexec /i \"" + AgentPackagePath(variant) + L"\" /qn TARGETDIR=\"" + m_dir.path() +
                          L"\\\" " + properties,
                      L"", 60000);
  }
  ScratchDir m_dir{L"agentpkg"};
};

TEST_F(AgentPackage, InstallsTheStandInsAndTheAgentRegistryAndRemovesThemAgain) {
  ProcessResult r = Install(L"good", L"PartnerID=4711 Language=de LARKPRODNAME=K-Harbor EULAHASH=abc "
                                     L"LATEBOUND_HELP=C:\\x\\help.zip");
  ASSERT_TRUE(r.started);
  ASSERT_EQ(r.exitCode, 0u);
  for (const wchar_t* program : kAgentPrograms)
    EXPECT_NE(GetFileAttributesW(m_dir.file(program).c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(program);
  bool found = false;
  EXPECT_EQ(ReadAgentValue(kAgentKey, L"InstallPath", &found), m_dir.path() + L"\\");
  EXPECT_EQ(ReadAgentValue(kAgentKey, L"PartnerID", &found), L"4711");
  EXPECT_EQ(ReadAgentValue(kAgentKey, L"ProductName", &found), L"K-Harbor");
  EXPECT_EQ(ReadAgentValue(kAgentKey, L"Language", &found), L"de");
  EXPECT_FALSE(ReadAgentValue(kAgentKey, L"Version", &found).empty());
  ReadAgentValue(std::wstring(kAgentKey) + L"\\Operators", L"4711", &found);
  EXPECT_TRUE(found);
  ReadAgentValue(kAgentKey, L"AgentSupportsMultipleOperators", &found);
  EXPECT_FALSE(found);
  EXPECT_EQ(RecordedAgentProperty(L"EULAHASH"), L"abc");
  EXPECT_EQ(RecordedAgentProperty(L"LATEBOUND_HELP"), L"C:\\x\\help.zip");
  EXPECT_EQ(RecordedAgentProperty(L"LATEBOUND_SETTINGS", &found), L"");
  EXPECT_TRUE(found);

  r = RunProcess(L"msiexec /x \"" + AgentPackagePath(L"good") + L"\" /qn", L"", 60000);
  EXPECT_EQ(r.exitCode, 0u);
  for (const wchar_t* program : kAgentPrograms)
    EXPECT_EQ(GetFileAttributesW(m_dir.file(program).c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(program);
  EXPECT_FALSE(KeyExists(kAgentKey));
  EXPECT_FALSE(KeyExists(kAgentRecordKey));
}

TEST_F(AgentPackage, VariantsFailRebootOrSupportSeveralOperators) {
  // A failing package rolls back; "reboot" asks for one (3010); "multi" says
  // it supports several operators.
  ProcessResult r = Install(L"fail", L"PartnerID=4711");
  EXPECT_NE(r.exitCode, 0u);
  EXPECT_FALSE(KeyExists(kAgentKey));
  r = Install(L"reboot", L"PartnerID=4711");
  EXPECT_EQ(r.exitCode, 3010u);
  RemoveInstalledAgent();
  r = Install(L"multi", L"PartnerID=4711");
  EXPECT_EQ(r.exitCode, 0u);
  DWORD value = 0, size = sizeof(value);
  EXPECT_EQ(SHGetValueW(HKEY_LOCAL_MACHINE, kAgentKey, L"AgentSupportsMultipleOperators", nullptr, &value, &size),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(value, 1u);
}

TEST(AgentLayout, ServerAnswersAsTheStubConfigurationService) {
  ASSERT_NE(TestHttpServer::Port(), 0);
  ASSERT_TRUE(ServeAgentLayout(L"good", L"4711"));
  std::string body;
  ASSERT_EQ(TestHttpServer::Request("GET", std::string(kStubConfigurationPath) + "?operatorId=4711&version=55", "",
                                    &body),
            200);
  EXPECT_EQ(body, StubConfiguration(TestServerBase(), L"installer-good.msi"));
  EXPECT_NE(body.find(Narrow(TestServerBase()) + "/f/installer-good.msi</LarkInstallerDownloadURL>"),
            std::string::npos);
  EXPECT_NE(body.find("<language>zh-TW</language>"), std::string::npos);
  EXPECT_EQ(body.find("@BASE@"), std::string::npos);
  // Another operator without a file of its own gets the general one or 404.
  int status = TestHttpServer::Request("GET", std::string(kStubConfigurationPath) + "?operatorId=99", "", &body);
  EXPECT_TRUE(status == 200 || status == 404) << status;
  EXPECT_FALSE(TestHttpServer::LogOfPath(kStubConfigurationPath).empty());
}

TEST(OperatorBuild, CopyCarriesTheChangedSettings) {
  ScratchDir dir(L"opbuild");
  std::wstring copy = dir.file(L"larkstubinst.exe");
  ASSERT_TRUE(MakeOperatorBuild(BuiltExe(L"larkstubinst"), copy,
                                {{L"StubConfigurationAddress", L"http://127.0.0.1:1"}, {L"NewKey", L"x"}},
                                {L"PartnerName"}));
  std::wstring original = ReadOperatorSettings(BuiltExe(L"larkstubinst"));
  std::wstring changed = ReadOperatorSettings(copy);
  ASSERT_FALSE(original.empty());
  EXPECT_NE(original.find(L"PartnerName="), std::wstring::npos);
  EXPECT_EQ(changed.find(L"PartnerName="), std::wstring::npos);
  EXPECT_NE(changed.find(L"\r\nStubConfigurationAddress=http://127.0.0.1:1\r\n"), std::wstring::npos);
  EXPECT_NE(changed.find(L"\r\nNewKey=x\r\n"), std::wstring::npos);
  EXPECT_NE(changed.find(L"\r\nen:AgentName="), std::wstring::npos);
  // The copy still starts: its usage text exits with the options' code.
  ProcessResult r = RunProcess(L"\"" + copy + L"\" --no-such-option", L"", 30000);
  EXPECT_TRUE(r.started);
  EXPECT_FALSE(r.timedOut);
}

}  // namespace
