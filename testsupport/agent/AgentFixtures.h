// Fixtures for end-to-end runs of the real larkstubinst.exe: the installed
// agent's stand-in programs and their start log, the agent's signed Windows
// Installer packages, the customization packages and the stub configuration
// response on the loopback test server, and copies of larkstubinst.exe with
// other operator settings.
//
// Built by testsupport/agent (target lark_agent_fixtures; a test that uses
// them adds DEPENDS lark_agent_fixtures larkstubinst and FIXTURES_REQUIRED
// "wine;httpserver"). A test that installs the agent touches the machine's
// agent keys and must be RUN_SERIAL.
//
// Typical run:
//   AgentStartLog starts(L"mytest");            // the stand-ins log here
//   ASSERT_TRUE(ServeAgentLayout(L"good"));       // operator "4711" by default
//   ProcessResult r = RunProcess(L"\"" + BuiltExe(L"larkstubinst") + L"\" --silent", L"", 120000);
//   ... starts.WaitFor(2, 5000), starts.Read() ...
//   RemoveInstalledAgent();
//
// The server is the build tree's loopback test server (CTest fixture
// "httpserver", started by testsupport/httpserver/server-ctl.sh; its port is
// TestHttpServer::Port()). Its request log: TestHttpServer::Log(L"langcust.zip")
// for a file, TestHttpServer::LogOfPath(kStubConfigurationPath) for the stub
// configuration requests; faults as in TestHttpServer.h (AddFault).
// Operator builds: MakeOperatorBuild(BuiltExe(L"larkstubinst"), copy,
// {{L"StubConfigurationAddress", TestServerBase()}, {L"PartnerID", L"4712"}})
// gives a second operator's build that fetches its own stub configuration
// (ServeAgentLayout(L"good", L"4712")); scripts use the same through
// bin/lark_operator_build.exe. Full exit codes of a run with a time-out:
// bin/lark_run_report.exe SECONDS "COMMAND LINE".
#pragma once

#include <map>
#include <string>
#include <vector>

#include "testsupport/TestEnv.h"

namespace larktest {

// The built fixtures: <build>\testsupport\agent\out\<fileName>.
//   agent-<variant>.msi   variants good, reboot, fail, othersigner, version3, multi
//   langcust.zip localization.zip help.zip settings.zip license.txt privacypolicy.txt
//   programs\<agent program>   the four stand-ins
std::wstring AgentFixturePath(const std::wstring& fileName);
inline std::wstring AgentPackagePath(const std::wstring& variant) {
  return AgentFixturePath(L"agent-" + variant + L".msi");
}

// The agent's programs that the stand-ins replace.
const wchar_t* const kAgentPrograms[] = {L"khhoster32.exe", L"trigger.exe", L"kh_installer_runner.exe",
                                         L"kh_reload_latebound_settings.exe"};

// Copies the four stand-ins into folder (created when missing).
bool CopyAgentStandIns(const std::wstring& folder);

// Where the agent packages keep what they were given: HKLM key (the test
// build's own registry view), each value "|" + property, e.g. "PARTNERID".
const wchar_t kAgentRecordKey[] = L"Software\\LarkTestPackages\\agent";
// The installed agent's key.
const wchar_t kAgentKey[] = L"SOFTWARE\\K-Harbor\\Lark Client";
// A property as the installed package recorded it ("" when not recorded,
// else without the leading "|").
std::wstring RecordedAgentProperty(const std::wstring& property, bool* found = nullptr);

// One start of a stand-in as its log line tells.
struct AgentStart {
  std::wstring program;      // file name, e.g. "khhoster32.exe"
  unsigned long processId = 0;
  std::wstring time;         // local time, "YYYY-MM-DDThh:mm:ss.mmm"
  std::wstring commandLine;  // the process's full command line
};

// The stand-ins append to %LARK_AGENT_LOG%, else to this file.
const wchar_t kDefaultAgentStartLog[] = L"C:\\ProgramData\\LarkAgentStandIn\\starts.log";

// Points LARK_AGENT_LOG of this process (and so of every process it starts)
// at a fresh file of its own while it lives; restores the old value after.
class AgentStartLog {
 public:
  explicit AgentStartLog(const std::wstring& name);
  ~AgentStartLog();
  AgentStartLog(const AgentStartLog&) = delete;
  AgentStartLog& operator=(const AgentStartLog&) = delete;
  const std::wstring& path() const { return m_path; }
  std::vector<AgentStart> Read() const;
  // Waits until at least count starts are logged; false on time-out.
  bool WaitFor(size_t count, unsigned long timeoutMs) const;

 private:
  std::wstring m_path;
  std::wstring m_oldValue;
  bool m_hadOldValue = false;
};

std::vector<AgentStart> ReadAgentStarts(const std::wstring& logPath);

// "http://127.0.0.1:<port>" of the test HTTP server.
std::wstring TestServerBase();

// The stub configuration response for a server at baseUrl whose agent
// package is <baseUrl>/f/<installerName> (the four packages, licence and
// privacy texts under /f/ too), with every mandatory setting for all languages.
std::string StubConfiguration(const std::wstring& baseUrl, const std::wstring& installerName);

// Puts the agent package of the variant (as installer-<variant>.msi), the
// four customization packages, the licence and privacy texts and the stub
// configuration on the test server. The stub configuration is served for
// the operator id given (stubconfiguration-<id>.xml), or for every operator
// without an own file when operatorId is empty.
bool ServeAgentLayout(const std::wstring& variant, const std::wstring& operatorId = L"4711");

// Removes any installed agent package variant (msiexec /x /qn), then the
// agent key, the record key and the stand-ins' default log.
void RemoveInstalledAgent();

// Copies larkstubinst.exe (source) to target with its settings (PROPERTIES
// resource 131) changed: keys in set get the value given (added when
// missing; "code:Key" for a language's setting), keys in remove are left
// out. Keys match without regard to case.
bool MakeOperatorBuild(const std::wstring& source, const std::wstring& target,
                       const std::map<std::wstring, std::wstring>& set,
                       const std::vector<std::wstring>& remove = {});
// The settings text (resource 131) of a program file; empty when missing.
std::wstring ReadOperatorSettings(const std::wstring& exePath);

}  // namespace larktest
