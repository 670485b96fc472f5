// The interactive road of a second operator on an installed agent that
// supports several operators, end to end: the real larkstubinst.exe (the
// second operator's build) driven by lark_drive through the welcome,
// licence and installation pages. The installation page adds the operator
// through the agent's libraries (stand-ins found through the delay-load
// key) instead of downloading and running the agent's Windows Installer
// package. Real processes: the installer and its elevated copy, msiexec for
// the first operator's agent, the agent's stand-in programs; the packages
// come from the loopback test server.
//
// In the successful case both processes log at level 5, so that the
// handshake shows in their logs. Serial: installs the agent, uses its keys, the delay-load key, the
// logging keys, the shared logs and the instance mutexes.
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "installer/OperatorConfig.h"
#include "testsupport/agent/SecondOperator.h"
#include "testsupport/automation/tests/InteractiveRoadFixture.h"
#include "testsupport/standins_operator/OperatorStandins.h"

using namespace larktest;

namespace {

const wchar_t kInstallerPackage[] = L"installer-multi.msi";
const wchar_t* const kPackages[] = {L"langcust.zip", L"localization.zip", L"help.zip", L"settings.zip"};

bool Contains(const std::vector<std::wstring>& lines, const std::wstring& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool Mentions(const std::vector<std::wstring>& lines, const std::wstring& part) {
  for (const std::wstring& line : lines)
    if (line.find(part) != std::wstring::npos) return true;
  return false;
}

// The percentages lark_drive's "progress" step saw, in order.
std::vector<int> Percentages(const std::string& output) {
  std::vector<int> values;
  const size_t at = output.find("percentages:");
  if (at == std::string::npos) return values;
  std::istringstream line(output.substr(at + 12, output.find('\n', at) - at - 12));
  for (int value; line >> value;) values.push_back(value);
  return values;
}

class InteractiveOperatorRoad : public InteractiveRoad {
 protected:
  void SetUp() override {
    // Logs of their own (the copy's log is not read by the base fixture).
    m_firstLog = logtest::FreshLogPath(L"stub");
    m_copyLog = logtest::FreshLogPath(L"stub_2");
    InteractiveRoad::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(InstallMultiOperatorAgent(m_scratch.file(L"agent"))) << "the multi-operator agent did not install";
    ASSERT_TRUE(MakeSecondOperatorBuild(BuiltExe(L"larkstubinst"), m_exe));
    ASSERT_TRUE(ServeAgentLayout(L"multi", kSecondOperator));
  }
  void TearDown() override {
    InteractiveRoad::TearDown();
    logtest::RemoveLogFiles(m_firstLog);
    logtest::RemoveLogFiles(m_copyLog);
  }

  // The Windows Installer run of this build would have recorded the
  // second operator and the licence's hash in the agent package's records.
  static void ExpectAgentPackageUntouched() {
    EXPECT_EQ(kAgentOperator, RecordedAgentProperty(L"PARTNERID"));
    EXPECT_EQ(L"", RecordedAgentProperty(L"EULAHASH"));
    EXPECT_FALSE(OperatorKnownToAgent());
  }
  static bool OperatorKnownToAgent() {
    HKEY key = nullptr;
    const std::wstring path = std::wstring(kAgentKey) + L"\\Operators";
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    const bool known = RegQueryValueExW(key, kSecondOperator, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return known;
  }

  logtest::LoggingKey m_firstLogLevel{L"Lark", L"stub"};
  logtest::LoggingKey m_copyLogLevel{L"Lark", L"stub_2"};
  std::wstring m_firstLog;
  std::wstring m_copyLog;
};

TEST_F(InteractiveOperatorRoad, AddsTheOperatorThroughTheLibrariesWithoutWindowsInstaller) {
  m_firstLogLevel.SetDword(L"LogLevel", 5);
  m_copyLogLevel.SetDword(L"LogLevel", 5);
  operatorstandin::Journal journal(L"interactive-operator");
  StandinLibraries libraries;
  AgentStartLog starts(L"interactive-operator");
  // Were the installer package fetched after all, its transfer would hang
  // halfway for two seconds: the percentage would stand inside 10-70.
  const size_t installerRequests = TestHttpServer::Log(kInstallerPackage).size();
  ASSERT_TRUE(TestHttpServer::AddFault(
      kInstallerPackage, "kind=stall&seconds=2&after=" + std::to_string(SizeOf(AgentPackagePath(L"multi")) / 2)));
  // Each package answers late, so that its band's first percentage shows
  // (the first one longer: the page is looked at 0.3 s after it appears).
  std::map<std::wstring, size_t> packageRequests;
  for (const wchar_t* package : kPackages) {
    packageRequests[package] = TestHttpServer::Log(package).size();
    ASSERT_TRUE(TestHttpServer::AddFault(package, package == kPackages[0] ? "kind=delay&seconds=1"
                                                                          : "kind=delay&seconds=0.4"));
  }

  const Drive drive = Run("operator",
                          "page welcome\n"
                          "shot 01-welcome\n"
                          "select 1002 Deutsch\n"
                          "shot 02-welcome-german\n"
                          "click 1021\n"
                          "page licence\n"
                          "wait-enabled 1000\n"
                          "shot 03-licence\n"
                          "click 1000\n"
                          "page install\n"
                          "progress 04-install\n"
                          "exit 0 60\n");
  TestHttpServer::ClearFaults(kInstallerPackage);
  for (const wchar_t* package : kPackages) TestHttpServer::ClearFaults(package);
  EXPECT_EQ(0u, drive.exitCode) << drive.output;

  // The welcome page in the first process, the licence and installation
  // pages in the elevated copy.
  const std::vector<unsigned long> pages = drive.PageProcesses();
  ASSERT_GE(pages.size(), 3u) << drive.output;
  EXPECT_NE(pages.front(), pages.back()) << drive.output;

  // The four packages came from the server, the installer package did not.
  for (const wchar_t* package : kPackages) {
    const std::vector<HttpLogEntry> log = TestHttpServer::Log(package);
    ASSERT_GT(log.size(), packageRequests[package]) << Narrow(package);
    EXPECT_EQ(200, log.back().status) << Narrow(package);
  }
  EXPECT_EQ(installerRequests, TestHttpServer::Log(kInstallerPackage).size());

  // The percentage stepped through the four package bands (2-10), then
  // jumped to 70 and on to 100: no installer download (10-70) and no
  // Windows Installer progress (70-100) in between.
  const std::vector<int> seen = Percentages(drive.output);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << drive.output;
  for (int band : {2, 4, 6, 8, 70, 100})
    EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(), band)) << band << drive.output;
  for (int value : seen) EXPECT_TRUE(value <= 10 || value == 70 || value == 100) << value << drive.output;

  // The operator was added through the libraries, in German, with the hash
  // of the licence that was shown.
  std::string licence;
  ASSERT_TRUE(ReadFileBytes(AgentFixturePath(L"license.txt"), licence));
  EXPECT_EQ(journal.Calls(), SecondOperatorCalls(DownloadFolder(), sizeof(OperatorConfigInstallRecord),
                                                 Widen(Sha1Hex(licence)), L"de"));
  const std::vector<std::wstring> copyLog = logtest::ReadLogTexts(m_copyLog);
  EXPECT_TRUE(
      Contains(copyLog, L" I InstallDialog::InstallSequenceThread: Skipping MSI installation. Install new operator"));
  EXPECT_FALSE(Mentions(copyLog, L"LarkInstaller::CheckAndInstall")) << "the copy ran the Windows Installer road";
  ExpectAgentPackageUntouched();

  // The reload program (waited for), the hosters and the runner from the
  // copy; the agent's trigger with the empty page from the first process.
  ASSERT_TRUE(starts.WaitFor(4, 10000));
  const std::vector<AgentStart> started = starts.Read();
  ASSERT_EQ(4u, started.size());
  EXPECT_EQ(L"kh_reload_latebound_settings.exe", started[0].program);
  EXPECT_TRUE(Contains(copyLog, L" I StubProgram::WaitForProcess: Successfully waited for process with id " +
                                    std::to_wstring(started[0].processId)));
  std::map<std::wstring, std::wstring> commandLines;
  for (const AgentStart& s : started) commandLines[s.program] = s.commandLine;
  EXPECT_NE(std::wstring::npos, commandLines[L"khhoster32.exe"].find(L"-startuihosters"));
  EXPECT_NE(std::wstring::npos, commandLines[L"kh_installer_runner.exe"].find(L"--operator-id 4712"));
  EXPECT_NE(std::wstring::npos, commandLines[L"trigger.exe"].find(L"--open-agent  -n 60 --operator-id 4712"));

  // The handshake: the first process woke on the copy's signal (the first
  // handle it waits on), not on the copy's end, and signalled back.
  const std::vector<std::wstring> firstLog = logtest::ReadLogTexts(m_firstLog);
  EXPECT_TRUE(Contains(firstLog, L" D StubProgram::WaitUntilAllowedToOperate: Wait result = 0"));
  EXPECT_TRUE(Contains(firstLog, L" D StubProgram::GetReturnCodeFromElevatedCopy: Exit code = 0"));
  EXPECT_TRUE(Mentions(firstLog, L"trigger.exe launched"));
  EXPECT_TRUE(Contains(copyLog, L" D InstallDialog::InstallSequenceThread: Allowing operation"));
  EXPECT_TRUE(Contains(copyLog, L" D InstallDialog::InstallSequenceThread: Finished"));
}

// A refusal of the libraries shows "Installation failed." and ends with
// the failure code; the copy does not signal, so neither the agent's
// programs nor its trigger start. A package refused with the libraries'
// error 4, which ends the silent road with 9, ends here the same way.
TEST_F(InteractiveOperatorRoad, RefusalShowsInstallationFailedAndEndsWith7) {
  const struct {
    const char* name;
    const wchar_t* key;
    int answer;
    std::vector<std::wstring> calls;
  } cases[] = {
      {"operator-refused", L"install", 5,
       {L"latebound.1", L"latebound.2", L"latebound.2", L"latebound.2", L"latebound.2", L"config.DelayLoadStub",
        L"config.install", L"config.failed"}},
      {"operator-package-refused", L"package1", 4, {L"latebound.1", L"latebound.2", L"latebound.2"}},
  };
  StandinLibraries libraries;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    operatorstandin::Journal journal(L"interactive-operator-refused");
    journal.SetAnswer(c.key, c.answer);
    AgentStartLog starts(L"interactive-operator-refused");
    const Drive drive = Run(c.name, ToInstallPage() +
                                        "answer ok 05-installation-failed\n"
                                        "message Installation failed.\n"
                                        "exit 7\n");
    EXPECT_EQ(0u, drive.exitCode) << drive.output;
    std::vector<std::wstring> entries;
    for (const std::wstring& call : journal.Calls()) entries.push_back(CallEntry(call));
    EXPECT_EQ(c.calls, entries);
    for (const AgentStart& start : starts.Read()) EXPECT_EQ(L"kh_reload_latebound_settings.exe", start.program);
    ExpectAgentPackageUntouched();
  }
}

}  // namespace
