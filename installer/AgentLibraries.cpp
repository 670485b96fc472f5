// The installed agent's late-bound package and operator-configuration
// libraries, bound under the delay-load identifier 100. The init function
// of each library calls its load-test entry and binds every other entry
// the installer uses, so a library that lacks one fails at load time with
// the entry's name, and no later call can throw.
#include "installer/AgentLibraries.h"

#include <string>

#include "logging/Log.h"

namespace {

DelayLoadLibrary g_latebound("kh_rk_latebound.dll");
DelayLoadFunction<DWORD(WINAPI*)()> LateboundLoad(g_latebound, static_cast<WORD>(1));
DelayLoadFunction<DWORD(WINAPI*)(const wchar_t*, const wchar_t*, DWORD, DWORD)> LateboundInstallPackage(
    g_latebound, static_cast<WORD>(2));

DelayLoadLibrary g_operatorConfig("kh_rk_operator_config32.dll");
DelayLoadFunction<int(WINAPI*)()> OperatorConfigDelayLoadStub(g_operatorConfig,
                                                              "kh_rk_operator_config_DelayLoadStub");
DelayLoadFunction<int(WINAPI*)(OperatorConfigInstallRecord*)> OperatorConfigInstall(
    g_operatorConfig, "kh_rk_operator_config_install");
DelayLoadFunction<int(WINAPI*)(OperatorConfigInstallRecord*)> OperatorConfigInstallSucceed(
    g_operatorConfig, "kh_rk_operator_config_install_succeed");
DelayLoadFunction<int(WINAPI*)(OperatorConfigInstallRecord*)> OperatorConfigInstallFailed(
    g_operatorConfig, "kh_rk_operator_config_install_failed");

void BindLatebound() { LateboundInstallPackage.Bind(); }

void LoadLatebound() {
  LateboundLoad();
  BindLatebound();
}

void BindOperatorConfig() {
  OperatorConfigInstall.Bind();
  OperatorConfigInstallSucceed.Bind();
  OperatorConfigInstallFailed.Bind();
}

void LoadOperatorConfig() {
  OperatorConfigDelayLoadStub();
  BindOperatorConfig();
}

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (const char* c = text; *c != '\0'; ++c) wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  return wide;
}

}  // namespace

namespace AgentLibraries {

int LateboundLoadTest(DelayLoadErrorRecord* error) { return CallWithDelayLoad(kDelayLoadId, LoadLatebound, error); }

int LateboundInstall(const wchar_t* package, const wchar_t* target, DWORD type, DWORD* answer,
                     DelayLoadErrorRecord* error) {
  if (!LateboundInstallPackage.IsBound()) {
    int code = CallWithDelayLoad(kDelayLoadId, BindLatebound, error);
    if (code != 0) return code;
  }
  *answer = LateboundInstallPackage(package, target, 0, type);
  return 0;
}

int OperatorConfigLoadTest(DelayLoadErrorRecord* error) {
  return CallWithDelayLoad(kDelayLoadId, LoadOperatorConfig, error);
}

int OperatorConfigCall(OperatorEntry entry, OperatorConfigInstallRecord* record, int* answer,
                       DelayLoadErrorRecord* error) {
  DelayLoadFunction<int(WINAPI*)(OperatorConfigInstallRecord*)>& function =
      entry == OperatorEntry::Install   ? OperatorConfigInstall
      : entry == OperatorEntry::Succeed ? OperatorConfigInstallSucceed
                                        : OperatorConfigInstallFailed;
  if (!function.IsBound()) {
    int code = CallWithDelayLoad(kDelayLoadId, BindOperatorConfig, error);
    if (code != 0) return code;
  }
  *answer = function(record);
  return 0;
}

DWORD ErrorForResolverCode(int code) {
  switch (code) {
    case 1:
      return ERROR_MOD_NOT_FOUND;
    case 2:
      return ERROR_PROC_NOT_FOUND;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

void LogResolverFailure(const wchar_t* caller, const wchar_t* entry, int code, const DelayLoadErrorRecord& error) {
  std::wstring library = Widen(error.libraryName);
  std::wstring function = Widen(error.functionName);
  LogW(2, L"%s: Cannot call %s: delay load error %d (library '%s', function '%s')", caller, entry, code,
       library.c_str(), function.c_str());
}

}  // namespace AgentLibraries
