#include "testsupport/agent/SecondOperator.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "testsupport/TestEnv.h"
#include "testsupport/agent/AgentFixtures.h"
#include "testsupport/standins_operator/OperatorStandins.h"

namespace larktest {

namespace {

const wchar_t kDelayLoadParent[] = L"Software\\K-Harbor\\BCX\\Delay Loading";
const wchar_t kDelayLoadKey[] = L"Software\\K-Harbor\\BCX\\Delay Loading\\100";
const wchar_t* const kLibraries[] = {L"kh_rk_latebound.dll", L"kh_rk_operator_config32.dll"};

bool KeyExists(const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace

bool InstallMultiOperatorAgent(const std::wstring& folder) {
  const ProcessResult r = RunProcess(L"msiexec /i \"" + AgentPackagePath(L"multi") + L"\" /qn TARGETDIR=\"" +
                                         folder + L"\\\" PartnerID=" + kAgentOperator + L" LARKPRODNAME=K-Harbor",
                                     L"", 60000);
  return r.started && !r.timedOut && r.exitCode == 0;
}

bool MakeSecondOperatorBuild(const std::wstring& source, const std::wstring& target) {
  return MakeOperatorBuild(source, target,
                           {{L"PartnerID", kSecondOperator},
                            {L"StubConfigurationAddress", TestServerBase()},
                            {L"de:AgentName", L"Lark Zwei"},
                            {L"de:Shortcutname", L"Lark Zwei.lnk"},
                            {L"de:KhDiagShortcutName", L"Diagnose Zwei.lnk"},
                            {L"de:StartMenuFolder", L"Lark Zwei Menü"}});
}

std::wstring SecondOperatorLateboundDir() {
  wchar_t appData[MAX_PATH] = L"";
  SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
  return std::wstring(appData) + L"\\K-Harbor\\latebound\\100\\" + kSecondOperator + L"\\";
}

StandinLibraries::StandinLibraries() : m_hadParent(KeyExists(kDelayLoadParent)), m_hadKey(KeyExists(kDelayLoadKey)) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDelayLoadKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  for (const wchar_t* library : kLibraries) {
    const std::wstring path = operatorstandin::DllFolder() + L"\\" + library;
    RegSetValueExW(key, library, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
}

StandinLibraries::~StandinLibraries() {
  if (!m_hadParent) {
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kDelayLoadParent);
  } else if (!m_hadKey) {
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kDelayLoadKey);
  } else {
    for (const wchar_t* library : kLibraries) SHDeleteValueW(HKEY_LOCAL_MACHINE, kDelayLoadKey, library);
  }
}

std::vector<std::wstring> SecondOperatorCalls(const std::wstring& packageFolder, size_t recordSize,
                                              const std::wstring& hash, const std::wstring& language) {
  const std::wstring target = L"'" + SecondOperatorLateboundDir() + L"'";
  const std::wstring head = std::to_wstring(recordSize) + L"|" + kSecondOperator + L"|" + target;
  std::vector<std::wstring> calls = {L"latebound.1"};
  const std::pair<const wchar_t*, const wchar_t*> packages[] = {
      {L"settings.zip", L"3"}, {L"localization.zip", L"1"}, {L"langcust.zip", L"0"}, {L"help.zip", L"2"}};
  for (const auto& package : packages)
    calls.push_back(L"latebound.2|'" + packageFolder + L"\\" + package.first + L"'|" + target + L"|0|" +
                    package.second);
  calls.push_back(L"config.DelayLoadStub");
  calls.push_back(L"config.install|" + head + L"|'Lark Zwei'|'Lark Zwei.lnk'|'Diagnose Zwei.lnk'|'Lark Zwei Menü'|'" +
                  hash + L"'|'" + language + L"'");
  calls.push_back(L"config.succeed|" + head + L"|'Lark Zwei'|''|''|''|''|''");
  return calls;
}

std::wstring CallEntry(const std::wstring& call) { return call.substr(0, call.find(L'|')); }

}  // namespace larktest
