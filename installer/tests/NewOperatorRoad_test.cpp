// End to end: a second operator's build of larkstubinst.exe, run silently
// against an installed agent that supports several operators, adds its
// operator through the agent's libraries (stand-ins named in the
// delay-load key) instead of running Windows Installer. Real processes:
// the installer, its elevated copy, msiexec for the first operator's agent
// and the agent's stand-in programs; the packages come from the loopback
// test server.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "installer/OperatorConfig.h"
#include "installer/tests/MachineStateSupport.h"
#include "installer/tests/OperatorTestSupport.h"
#include "logging/tests/LogTestSupport.h"
#include "platform/PathUtils.h"
#include "testsupport/TestEnv.h"
#include "testsupport/agent/AgentFixtures.h"
#include "testsupport/agent/SecondOperator.h"
#include "testsupport/standins_operator/OperatorStandins.h"

using namespace larktest;
using operatortest::Contains;
using operatortest::KeyExists;
using operatortest::Matching;

namespace {

bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The first operator's agent (the multi-operator package) is installed
// once for the suite; each run uses a fresh journal, start log and logs.
class NewOperatorRoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RemoveInstalledAgent();
    s_agentDir = new ScratchDir(L"agent-multi");
    s_installed = InstallMultiOperatorAgent(s_agentDir->path());
    s_build = new ScratchDir(L"second-operator");
    s_buildOk = MakeSecondOperatorBuild(BuiltExe(L"larkstubinst"), s_build->file(L"larkstubinst.exe"));
  }
  static void TearDownTestSuite() {
    RemoveInstalledAgent();
    delete s_build;
    delete s_agentDir;
  }

  void SetUp() override {
    ASSERT_TRUE(s_installed) << "the multi-operator agent did not install";
    ASSERT_TRUE(s_buildOk);
    ASSERT_TRUE(ServeAgentLayout(L"multi", kSecondOperator));
    m_firstLog = logtest::FreshLogPath(L"stub");
    m_copyLog = logtest::FreshLogPath(L"stub_2");
  }
  void TearDown() override {
    logtest::RemoveLogFiles(m_firstLog);
    logtest::RemoveLogFiles(m_copyLog);
  }

  ProcessResult RunSilent() {
    return RunProcess(L"\"" + s_build->file(L"larkstubinst.exe") + L"\" --silent --language de", L"", 120000);
  }

  static ScratchDir* s_agentDir;
  static ScratchDir* s_build;
  static bool s_installed;
  static bool s_buildOk;
  std::wstring m_firstLog;
  std::wstring m_copyLog;
};

ScratchDir* NewOperatorRoad::s_agentDir = nullptr;
ScratchDir* NewOperatorRoad::s_build = nullptr;
bool NewOperatorRoad::s_installed = false;
bool NewOperatorRoad::s_buildOk = false;

TEST_F(NewOperatorRoad, SilentRunInstallsPackagesConfiguresAndStartsTheAgent) {
  operatorstandin::Journal journal(L"road-journal");
  AgentStartLog starts(L"road-starts");
  StandinLibraries libraries;

  ProcessResult r = RunSilent();
  ASSERT_TRUE(r.started);
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0u);

  // The packages from the download folder into the operator's late-bound
  // folder, then the configuration (no licence hash in silent mode) and
  // the success report.
  EXPECT_EQ(journal.Calls(),
            SecondOperatorCalls(MakePath(GetFolderPath(CSIDL_COMMON_APPDATA), L"K-Harbor\\Lark\\Downloads"),
                                sizeof(OperatorConfigInstallRecord), L"", L"de"));

  // The reload program was started and waited for, then the hosters and
  // the runner.
  ASSERT_TRUE(starts.WaitFor(3, 10000));
  std::vector<AgentStart> started = starts.Read();
  ASSERT_EQ(started.size(), 3u);
  EXPECT_EQ(started[0].program, L"kh_reload_latebound_settings.exe");
  EXPECT_TRUE(EndsWith(started[0].commandLine, L"kh_reload_latebound_settings.exe\" ")) << Narrow(started[0].commandLine);
  EXPECT_EQ(started[1].program, L"khhoster32.exe");
  EXPECT_EQ(started[2].program, L"kh_installer_runner.exe");
  EXPECT_TRUE(EndsWith(started[2].commandLine, L"--operator-id 4712")) << Narrow(started[2].commandLine);
  std::vector<std::wstring> copyLog = logtest::ReadLogTexts(m_copyLog);
  EXPECT_TRUE(Contains(copyLog, L" I StubProgram::WaitForProcess: Successfully waited for process with id " +
                                    std::to_wstring(started[0].processId)));
  EXPECT_TRUE(Contains(copyLog, L" I StubProgram::InstallNewOperator: Installing new operator data"));

  // No Windows Installer run: the agent still holds what the first
  // operator's installation gave it.
  EXPECT_EQ(RecordedAgentProperty(L"PARTNERID"), L"4711");
  EXPECT_FALSE(KeyExists((std::wstring(kAgentKey) + L"\\Operators\\4712").c_str()));
  EXPECT_TRUE(Matching(copyLog, L"LarkInstaller").empty());
}

TEST_F(NewOperatorRoad, FailuresEndWithTheirCodesAndStopTheRoad) {
  const struct {
    const char* name;
    bool libraries;
    const wchar_t* key;
    int answer;
    DWORD code;
    std::vector<std::wstring> calls;  // entries, arguments left out
    const wchar_t* errorLine;
  } cases[] = {
      {"library missing", false, nullptr, 0, 6, {}, L"*E StubProgram::InstallNewOperator: Failed to load kh_rk_latebound library"},
      {"package refused", true, L"package1", 4, 9, {L"latebound.1", L"latebound.2", L"latebound.2"},
       L"*E StubProgram::InstallNewOperator: failed to install install latebound type 1."},
      {"package error", true, L"package0", 3, 6, {L"latebound.1", L"latebound.2", L"latebound.2", L"latebound.2"},
       L"*E InstallLateboundPackage: Latebound: Failed to install "},
      {"configuration fails", true, L"install", 5, 6,
       {L"latebound.1", L"latebound.2", L"latebound.2", L"latebound.2", L"latebound.2", L"config.DelayLoadStub",
        L"config.install", L"config.failed"},
       L"*E StubProgram::InstallNewOperator: Failed to configure new operator"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    operatorstandin::Journal journal(L"road-fail");
    AgentStartLog starts(L"road-fail-starts");
    std::unique_ptr<StandinLibraries> libraries(c.libraries ? new StandinLibraries : nullptr);
    if (c.key) journal.SetAnswer(c.key, c.answer);
    logtest::RemoveLogFiles(m_copyLog);

    ProcessResult r = RunSilent();
    ASSERT_TRUE(r.started);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, c.code);
    std::vector<std::wstring> entries;
    for (const std::wstring& call : journal.Calls()) entries.push_back(CallEntry(call));
    EXPECT_EQ(entries, c.calls);
    std::vector<std::wstring> copyLog = logtest::ReadLogTexts(m_copyLog);
    EXPECT_FALSE(Matching(copyLog, c.errorLine).empty()) << Narrow(c.errorLine);
    // A failed road starts neither the hosters nor the runner.
    for (const AgentStart& start : starts.Read()) EXPECT_EQ(start.program, L"kh_reload_latebound_settings.exe");
  }
}

}  // namespace
