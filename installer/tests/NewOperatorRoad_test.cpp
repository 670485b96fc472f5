// End to end: a second operator's build of larkstubinst.exe, run silently
// against an installed agent that supports several operators, adds its
// operator through the agent's libraries (stand-ins named in the
// delay-load key) instead of running Windows Installer. Real processes:
// the installer, its elevated copy, msiexec for the first operator's agent
// and the agent's stand-in programs; the packages come from the loopback
// test server.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "installer/OperatorConfig.h"
#include "installer/tests/MachineStateSupport.h"
#include "installer/tests/OperatorTestSupport.h"
#include "logging/tests/LogTestSupport.h"
#include "platform/PathUtils.h"
#include "testsupport/TestEnv.h"
#include "testsupport/agent/AgentFixtures.h"
#include "testsupport/standins_operator/OperatorStandins.h"

using namespace larktest;
using operatortest::Contains;
using operatortest::KeyExists;
using operatortest::Matching;
using operatortest::ScopedKey;

namespace {

const wchar_t kDelayLoadParent[] = L"Software\\K-Harbor\\BCX\\Delay Loading";
const wchar_t kDelayLoadKey[] = L"Software\\K-Harbor\\BCX\\Delay Loading\\100";
const wchar_t kSecondOperator[] = L"4712";

std::vector<std::wstring> Split(const std::wstring& line) {
  std::vector<std::wstring> fields;
  size_t start = 0;
  for (size_t bar = line.find(L'|'); bar != std::wstring::npos; bar = line.find(L'|', start)) {
    fields.push_back(line.substr(start, bar - start));
    start = bar + 1;
  }
  fields.push_back(line.substr(start));
  return fields;
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The first operator's agent (the multi-operator package) is installed
// once for the suite; each run uses a fresh journal, start log and logs.
class NewOperatorRoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RemoveInstalledAgent();
    s_hadDelayLoadParent = KeyExists(kDelayLoadParent);
    s_agentDir = new ScratchDir(L"agent-multi");
    ProcessResult r = RunProcess(L"msiexec /i \"" + AgentPackagePath(L"multi") + L"\" /qn TARGETDIR=\"" +
                                     s_agentDir->path() + L"\\\" PartnerID=4711 LARKPRODNAME=K-Harbor",
                                 L"", 60000);
    s_installed = r.started && r.exitCode == 0;
    s_build = new ScratchDir(L"second-operator");
    s_buildOk = MakeOperatorBuild(BuiltExe(L"larkstubinst"), s_build->file(L"larkstubinst.exe"),
                                  {{L"PartnerID", kSecondOperator},
                                   {L"StubConfigurationAddress", TestServerBase()},
                                   {L"de:AgentName", L"Lark Zwei"},
                                   {L"de:Shortcutname", L"Lark Zwei.lnk"},
                                   {L"de:KhDiagShortcutName", L"Diagnose Zwei.lnk"},
                                   {L"de:StartMenuFolder", L"Lark Zwei Menü"}});
  }
  static void TearDownTestSuite() {
    RemoveInstalledAgent();
    if (!s_hadDelayLoadParent) SHDeleteKeyW(HKEY_LOCAL_MACHINE, kDelayLoadParent);
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

  // Names the stand-in libraries where the elevated copy (which runs from
  // its own temporary folder) finds them.
  void NameLibraries(ScopedKey& key) {
    for (const wchar_t* library : {L"kh_rk_latebound.dll", L"kh_rk_operator_config32.dll"}) {
      key.SetString(library, (operatorstandin::DllFolder() + L"\\" + library).c_str());
    }
  }

  ProcessResult RunSilent() {
    return RunProcess(L"\"" + s_build->file(L"larkstubinst.exe") + L"\" --silent --language de", L"", 120000);
  }

  std::vector<std::wstring> CopyLog() {
    std::vector<std::wstring> raw, texts;
    logtest::ReadLogLines(m_copyLog, raw);
    for (const std::wstring& line : raw) {
      logtest::ParsedLine parsed;
      if (logtest::ParseLine(line, parsed)) texts.push_back(parsed.tag + L" " + parsed.text);
    }
    return texts;
  }

  static std::wstring LateboundDir() {
    return MakePath(GetFolderPath(CSIDL_COMMON_APPDATA), L"K-Harbor") + L"\\latebound\\100\\" + kSecondOperator +
           L"\\";
  }

  static ScratchDir* s_agentDir;
  static ScratchDir* s_build;
  static bool s_installed;
  static bool s_buildOk;
  static bool s_hadDelayLoadParent;
  std::wstring m_firstLog;
  std::wstring m_copyLog;
};

ScratchDir* NewOperatorRoad::s_agentDir = nullptr;
ScratchDir* NewOperatorRoad::s_build = nullptr;
bool NewOperatorRoad::s_installed = false;
bool NewOperatorRoad::s_buildOk = false;
bool NewOperatorRoad::s_hadDelayLoadParent = false;

TEST_F(NewOperatorRoad, SilentRunInstallsPackagesConfiguresAndStartsTheAgent) {
  operatorstandin::Journal journal(L"road-journal");
  AgentStartLog starts(L"road-starts");
  ScopedKey delayLoad(kDelayLoadKey);
  NameLibraries(delayLoad);

  ProcessResult r = RunSilent();
  ASSERT_TRUE(r.started);
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0u);

  // The packages in the order settings, localization, customization, help,
  // into the operator's late-bound folder; then the configuration and the
  // success report with only the id, folder and uninstallation name.
  std::vector<std::wstring> calls = journal.Calls();
  ASSERT_EQ(calls.size(), 8u);
  EXPECT_EQ(calls[0], L"latebound.1");
  const wchar_t* packages[][2] = {
      {L"\\settings.zip'", L"3"}, {L"\\localization.zip'", L"1"}, {L"\\langcust.zip'", L"0"}, {L"\\help.zip'", L"2"}};
  for (int i = 0; i < 4; ++i) {
    std::vector<std::wstring> f = Split(calls[1 + i]);
    ASSERT_EQ(f.size(), 5u) << Narrow(calls[1 + i]);
    EXPECT_EQ(f[0], L"latebound.2");
    EXPECT_TRUE(EndsWith(f[1], packages[i][0])) << Narrow(f[1]);
    EXPECT_EQ(f[2], L"'" + LateboundDir() + L"'");
    EXPECT_EQ(f[3], L"0");
    EXPECT_EQ(f[4], packages[i][1]);
  }
  const std::wstring size = std::to_wstring(sizeof(OperatorConfigInstallRecord));
  EXPECT_EQ(calls[5], L"config.DelayLoadStub");
  EXPECT_EQ(calls[6], L"config.install|" + size + L"|4712|'" + LateboundDir() +
                          L"'|'Lark Zwei'|'Lark Zwei.lnk'|'Diagnose Zwei.lnk'|'Lark Zwei Menü'|''|'de'");
  EXPECT_EQ(calls[7], L"config.succeed|" + size + L"|4712|'" + LateboundDir() + L"'|'Lark Zwei'|''|''|''|''|''");

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
  std::vector<std::wstring> copyLog = CopyLog();
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
    ScopedKey delayLoad(kDelayLoadKey);
    if (c.libraries) NameLibraries(delayLoad);
    if (c.key) journal.SetAnswer(c.key, c.answer);
    logtest::RemoveLogFiles(m_copyLog);

    ProcessResult r = RunSilent();
    ASSERT_TRUE(r.started);
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, c.code);
    std::vector<std::wstring> entries;
    for (const std::wstring& call : journal.Calls()) entries.push_back(Split(call)[0]);
    EXPECT_EQ(entries, c.calls);
    std::vector<std::wstring> copyLog = CopyLog();
    EXPECT_FALSE(Matching(copyLog, c.errorLine).empty()) << Narrow(c.errorLine);
    // A failed road starts neither the hosters nor the runner.
    for (const AgentStart& start : starts.Read()) EXPECT_EQ(start.program, L"kh_reload_latebound_settings.exe");
  }
}

}  // namespace
