// A second operator beside an installed agent that supports several
// operators, for the end-to-end runs of the new-operator road (silent and
// interactive): the first operator's agent installed from the
// multi-operator package, the second operator's build of larkstubinst.exe,
// the agent-library stand-ins named where the installer and its elevated
// copy find them, and the calls those stand-ins are expected to record.
//
// Typical run (RUN_SERIAL: the agent's keys and the delay-load key):
//   ASSERT_TRUE(InstallMultiOperatorAgent(agentFolder));
//   ASSERT_TRUE(MakeSecondOperatorBuild(BuiltExe(L"larkstubinst"), copy));
//   ASSERT_TRUE(ServeAgentLayout(L"multi", kSecondOperator));
//   operatorstandin::Journal journal(L"mytest");   // answers in, calls out
//   StandinLibraries libraries;
//   ... run copy ...; journal.Calls() == SecondOperatorCalls(...)
//   RemoveInstalledAgent();
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace larktest {

// The operator of the installed agent and the one its second build adds.
const wchar_t kAgentOperator[] = L"4711";
const wchar_t kSecondOperator[] = L"4712";

// Installs the multi-operator agent package for kAgentOperator into
// folder with msiexec (quietly); true when msiexec reported success.
bool InstallMultiOperatorAgent(const std::wstring& folder);

// Copies larkstubinst.exe (source) to target as kSecondOperator's build: it
// asks the test server for its stub configuration and has German names of
// its own ("Lark Zwei", "Lark Zwei.lnk", "Diagnose Zwei.lnk",
// "Lark Zwei Menü").
bool MakeSecondOperatorBuild(const std::wstring& source, const std::wstring& target);

// kSecondOperator's late-bound folder as the installer hands it to the
// libraries (with its final backslash).
std::wstring SecondOperatorLateboundDir();

// Names the stand-in libraries under the delay-load key of identifier 100
// while it lives: the elevated copy runs from a temporary folder of its own
// and finds them only there. Afterwards the values go, and the keys that it
// created.
class StandinLibraries {
 public:
  StandinLibraries();
  ~StandinLibraries();
  StandinLibraries(const StandinLibraries&) = delete;
  StandinLibraries& operator=(const StandinLibraries&) = delete;

 private:
  bool m_hadParent;
  bool m_hadKey;
};

// The calls the stand-ins record when kSecondOperator is added with the
// packages in packageFolder, in order: the late-bound library's load test,
// the packages settings, localization, customization and help, the
// configuration library's load test, the configuration with every field
// (German names, hash and language as given) and the success report with
// only the id, the folder and the uninstallation name. recordSize is the
// size of the record the installer hands over.
std::vector<std::wstring> SecondOperatorCalls(const std::wstring& packageFolder, size_t recordSize,
                                              const std::wstring& hash, const std::wstring& language);

// The entry of a recorded call ("config.install" of "config.install|...").
std::wstring CallEntry(const std::wstring& call);

}  // namespace larktest
