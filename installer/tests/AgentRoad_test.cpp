// The agent's whole road with the built program: a silent network
// installation of the signed agent package from the loopback server, the
// agent's programs that it starts and the package origins it records; then
// the same program on a machine where the agent is installed for its
// operator: it opens the agent's add-product page, and reports a broken
// installation once "trigger.exe" is gone. Serial: installs the agent and
// uses its machine-wide key.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "installer/ExitCodes.h"
#include "platform/PathUtils.h"
#include "testsupport/TestEnv.h"
#include "testsupport/agent/AgentFixtures.h"
#include "testsupport/httpserver/TestHttpServer.h"

using namespace larktest;

namespace {

std::wstring AgentValue(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAgentKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
  wchar_t value[1024] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  DWORD type = 0;
  const LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_SZ ? value : L"";
}

std::vector<AgentStart> StartsOf(const AgentStartLog& log, const std::wstring& program) {
  std::vector<AgentStart> found;
  for (const AgentStart& start : log.Read()) {
    if (start.program == program) found.push_back(start);
  }
  return found;
}

class AgentRoad : public ::testing::Test {
 protected:
  AgentRoad() : scratch(L"agent road") {}
  void SetUp() override {
    if (TestHttpServer::Port() == 0) GTEST_SKIP() << "the test HTTP server is not running";
    RemoveInstalledAgent();
    exe = scratch.file(L"larkstubinst.exe");
    ASSERT_TRUE(MakeOperatorBuild(BuiltExe(L"larkstubinst"), exe,
                                  {{L"PartnerID", L"4711"}, {L"StubConfigurationAddress", TestServerBase()}}));
  }
  void TearDown() override { RemoveInstalledAgent(); }

  DWORD Run(const std::wstring& arguments) {
    const ProcessResult r = RunProcess(L"\"" + exe + L"\" " + arguments, L"", 60000);
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    return r.exitCode;
  }

  ScratchDir scratch;
  std::wstring exe;
};

TEST_F(AgentRoad, InstallsStartsTheAgentRecordsOriginsThenOpensTheInstalledAgent) {
  AgentStartLog starts(L"agent-road");
  ASSERT_TRUE(ServeAgentLayout(L"good"));

  ASSERT_EQ(Run(L"--silent"), 0u);
  EXPECT_EQ(Narrow(RecordedAgentProperty(L"PARTNERID")), "4711");
  const std::wstring installPath = AgentValue(L"InstallPath");
  ASSERT_FALSE(installPath.empty());

  // The user-interface hosters and the post-installation runner; a silent
  // run opens no agent page.
  ASSERT_TRUE(starts.WaitFor(2, 10000));
  const std::vector<AgentStart> hosters = StartsOf(starts, L"khhoster32.exe");
  ASSERT_EQ(hosters.size(), 1u);
  EXPECT_NE(hosters[0].commandLine.find(L"-startuihosters"), std::wstring::npos);
  const std::vector<AgentStart> runner = StartsOf(starts, L"kh_installer_runner.exe");
  ASSERT_EQ(runner.size(), 1u);
  EXPECT_NE(runner[0].commandLine.find(L"--operator-id 4711"), std::wstring::npos);
  EXPECT_TRUE(StartsOf(starts, L"trigger.exe").empty());

  // Twelve origin values, one time stamp for all four packages.
  wchar_t appData[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
  const std::wstring downloads = std::wstring(appData) + L"\\K-Harbor\\Lark\\Downloads\\";
  const struct {
    const wchar_t* package;
    const wchar_t* file;
  } origins[] = {{L"customizations", L"langcust.zip"},
                 {L"localizations", L"localization.zip"},
                 {L"help", L"help.zip"},
                 {L"settings", L"settings.zip"}};
  const std::wstring stamp = AgentValue(L"Stub_customizations_timestamp");
  EXPECT_EQ(stamp.size(), 19u) << Narrow(stamp);  // YYYY-MM-DDThh:mm:ss
  for (const auto& o : origins) {
    const std::wstring prefix = std::wstring(L"Stub_") + o.package;
    EXPECT_EQ(Narrow(AgentValue((prefix + L"_url").c_str())), Narrow(TestServerBase() + L"/f/" + o.file));
    EXPECT_EQ(Narrow(AgentValue((prefix + L"_file").c_str())), Narrow(downloads + o.file));
    EXPECT_EQ(AgentValue((prefix + L"_timestamp").c_str()), stamp) << Narrow(o.package);
  }

  // Installed for this operator: the add-product page, and nothing else.
  const size_t before = starts.Read().size();
  EXPECT_EQ(Run(L""), 0u);
  ASSERT_TRUE(starts.WaitFor(before + 1, 10000));
  const std::vector<AgentStart> trigger = StartsOf(starts, L"trigger.exe");
  ASSERT_EQ(trigger.size(), 1u);
  const std::wstring expected = L"--open-agent showAddProductPage -n 60 --operator-id 4711";
  const std::wstring& line = trigger[0].commandLine;
  ASSERT_GE(line.size(), expected.size());
  EXPECT_EQ(Narrow(line.substr(line.size() - expected.size())), Narrow(expected));
  EXPECT_EQ(starts.Read().size(), before + 1);

  // Its programs gone: a broken installation, also without any page.
  ASSERT_TRUE(DeleteFileW((installPath + L"\\trigger.exe").c_str()) ||
              DeleteFileW((installPath + L"trigger.exe").c_str()));
  EXPECT_EQ(Run(L"--silent"), static_cast<DWORD>(ExitCode::Failure));
  EXPECT_EQ(starts.Read().size(), before + 1);
}

TEST_F(AgentRoad, AnInstallFolderTooLongForTheHosterPathStillEndsInSuccess) {
  // The operator's folder under Program Files is long enough that the
  // installed agent's folder, a backslash and "khhoster32.exe" pass
  // MAX_PATH: the installation succeeds, the hosters cannot be started, and
  // that must not turn the run into a failure.
  const std::wstring programFiles = GetFolderPath(CSIDL_PROGRAM_FILES);
  std::wstring folder = L"K-Harbor\\";
  folder += std::wstring(250 - programFiles.size() - 1 - folder.size(), L'h');
  ASSERT_TRUE(MakeOperatorBuild(BuiltExe(L"larkstubinst"), exe,
                                {{L"PartnerID", L"4711"},
                                 {L"StubConfigurationAddress", TestServerBase()},
                                 {L"en:InstallDirUnderProgramFiles", folder}}));
  AgentStartLog starts(L"agent-road-long");
  ASSERT_TRUE(ServeAgentLayout(L"good"));

  EXPECT_EQ(Run(L"--silent"), 0u);
  const std::wstring installPath = AgentValue(L"InstallPath");
  ASSERT_FALSE(installPath.empty());
  EXPECT_GE(installPath.size() + std::wstring(L"khhoster32.exe").size() + 1, static_cast<size_t>(MAX_PATH))
      << Narrow(installPath);
  Sleep(500);
  EXPECT_TRUE(StartsOf(starts, L"khhoster32.exe").empty());
}

}  // namespace
