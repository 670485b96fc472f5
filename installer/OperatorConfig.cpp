// A new operator for an installed agent: the decision between this road and
// a Windows Installer run, the four late-bound packages, the agent's
// settings reload program and the operator configuration with its success
// or failure report.
#include "installer/OperatorConfig.h"

#include <cwchar>

#include "installer/AgentLibraries.h"
#include "installer/ExitCodes.h"
#include "installer/StubProgram.h"
#include "logging/Log.h"
#include "platform/PathUtils.h"
#include "platform/RegKey.h"
#include "settings/LarkProperties.h"

namespace {

const DWORD kReloadWaitMs = 30000;
const unsigned long kLateboundRefused = 4;

enum LateboundType : DWORD { kCustomization = 0, kLocalization = 1, kHelp = 2, kSettings = 3 };

// "PartnerID" as a decimal number; 0 when it does not start with one.
int OperatorIdNumber(const std::wstring& partnerId) {
  return static_cast<int>(std::wcstol(partnerId.c_str(), nullptr, 10));
}

bool ReportOutcome(AgentLibraries::OperatorEntry entry, const wchar_t* name, const OperatorConfig& config) {
  OperatorConfigInstallRecord record;
  OperatorConfigurator::MakeInstallRecord(record, config);
  DelayLoadErrorRecord error = {};
  int answer = 0;
  int code = AgentLibraries::OperatorConfigCall(entry, &record, &answer, &error);
  if (code != 0) {
    AgentLibraries::LogResolverFailure(name, entry == AgentLibraries::OperatorEntry::Succeed
                                                 ? L"kh_rk_operator_config_install_succeed"
                                                 : L"kh_rk_operator_config_install_failed",
                                       code, error);
    LogW(2, L"%s: Failed to load kh_rk_operator_config library : %d", name, code);
    return false;
  }
  if (answer != 0) {
    LogW(2, L"%s: Failed configure operator, error: %d", name, answer);
    return false;
  }
  return true;
}

}  // namespace

void OperatorConfigParams(OperatorConfig& config) {
  config.operatorId = 0;
  config.lateboundTargetDir.clear();
  config.uninstallation.clear();
  config.shortcutName.clear();
  config.khDiagShortcutName.clear();
  config.startMenuFolder.clear();
  config.licenseTermsHash.clear();
  config.language.clear();
}

void OperatorConfigCopy(OperatorConfig& target, const OperatorConfig& source) {
  target.operatorId = source.operatorId;
  target.lateboundTargetDir = source.lateboundTargetDir;
  target.uninstallation = source.uninstallation;
  target.shortcutName = source.shortcutName;
  target.khDiagShortcutName = source.khDiagShortcutName;
  target.startMenuFolder = source.startMenuFolder;
  target.licenseTermsHash = source.licenseTermsHash;
  target.language = source.language;
}

void OperatorConfigDestroy(OperatorConfig& config) {
  OperatorConfigParams(config);
  config.lateboundTargetDir.shrink_to_fit();
  config.uninstallation.shrink_to_fit();
  config.shortcutName.shrink_to_fit();
  config.khDiagShortcutName.shrink_to_fit();
  config.startMenuFolder.shrink_to_fit();
  config.licenseTermsHash.shrink_to_fit();
  config.language.shrink_to_fit();
}

void logOperatorConfigStruct(const OperatorConfig& config) {
  const wchar_t* self = L"logOperatorConfigStruct";
  LogW(4, L"%s: Operator id: %d", self, config.operatorId);
  LogW(4, L"%s: LateboundTargetDir entry name: %s", self, config.lateboundTargetDir.c_str());
  LogW(4, L"%s: Uninstallation entry name: %s", self, config.uninstallation.c_str());
  LogW(4, L"%s: StartMenuFolder entry name: %s", self, config.startMenuFolder.c_str());
  LogW(4, L"%s: ShortcutName entry name: %s", self, config.shortcutName.c_str());
  LogW(4, L"%s: KhDiagShortcutName entry name: %s", self, config.khDiagShortcutName.c_str());
}

OperatorConfigInstallRecord& OperatorConfigurator::MakeInstallRecord(OperatorConfigInstallRecord& record,
                                                                     const OperatorConfig& config) {
  record.size = sizeof(OperatorConfigInstallRecord);
  record.operatorId = config.operatorId;
  // c_str() of an empty string is an empty string, never null.
  record.lateboundTargetDir = config.lateboundTargetDir.c_str();
  record.uninstallation = config.uninstallation.c_str();
  record.shortcutName = config.shortcutName.c_str();
  record.khDiagShortcutName = config.khDiagShortcutName.c_str();
  record.startMenuFolder = config.startMenuFolder.c_str();
  record.licenseTermsHash = config.licenseTermsHash.c_str();
  record.language = config.language.c_str();
  return record;
}

bool OperatorConfigurator::DelayLoadOperatorConfig() {
  const wchar_t* self = L"OperatorConfigurator::DelayLoadOperatorConfig";
  DelayLoadErrorRecord error = {};
  int code = AgentLibraries::OperatorConfigLoadTest(&error);
  if (code != 0) {
    AgentLibraries::LogResolverFailure(self, L"kh_rk_operator_config_DelayLoadStub", code, error);
    LogW(2, L"%s: Failed to load kh_rk_operator_config library : %d", self, code);
    return false;
  }
  return true;
}

bool OperatorConfigurator::run(const OperatorConfig& config) {
  const wchar_t* self = L"OperatorConfigurator::run";
  if (!DelayLoadOperatorConfig()) {
    LogW(2, L"%s: Failed to delay load operator config", self);
    return false;
  }
  OperatorConfigInstallRecord record;
  MakeInstallRecord(record, config);
  DelayLoadErrorRecord error = {};
  int answer = 0;
  int code = AgentLibraries::OperatorConfigCall(AgentLibraries::OperatorEntry::Install, &record, &answer, &error);
  if (code != 0) {
    AgentLibraries::LogResolverFailure(self, L"kh_rk_operator_config_install", code, error);
    answer = static_cast<int>(AgentLibraries::ErrorForResolverCode(code));
  }
  if (answer != 0) {
    LogW(2, L"%s: Could not configure operator, error: %d", self, answer);
    return false;
  }
  return true;
}

bool OperatorConfigurator::succeed(const OperatorConfig& config) {
  return ReportOutcome(AgentLibraries::OperatorEntry::Succeed, L"OperatorConfigurator::succeed", config);
}

bool OperatorConfigurator::failed(const OperatorConfig& config) {
  return ReportOutcome(AgentLibraries::OperatorEntry::Failed, L"OperatorConfigurator::failed", config);
}

unsigned long InstallLateboundPackage(const std::wstring& target, const std::wstring& package, DWORD type) {
  const wchar_t* self = L"InstallLateboundPackage";
  LogW(4, L"%s: Latebound: Installing '%s' to '%s'...", self, package.c_str(), target.c_str());
  DelayLoadErrorRecord error = {};
  DWORD answer = 0;
  int code = AgentLibraries::LateboundInstall(package.c_str(), target.c_str(), type, &answer, &error);
  if (code != 0) {
    AgentLibraries::LogResolverFailure(self, L"kh_rk_latebound ordinal 2", code, error);
    answer = AgentLibraries::ErrorForResolverCode(code);
  }
  if (answer != 0) LogW(2, L"%s: Latebound: Failed to install %s: %lu", self, package.c_str(), answer);
  return answer;
}

bool StubProgram::ShouldConfigureNewOperator() {
  const wchar_t* self = L"StubProgram::ShouldConfigureNewOperator";
  DWORD supportsMultiple = 0;
  // A readable 0 in the agent's own key decides; the late-bound setting is
  // only a fallback for agents that lack that value.
  bool readable = ReadLarkRegistry(&supportsMultiple) || ReadLateboundRegistry(&supportsMultiple);
  if (!readable || supportsMultiple == 0) {
    LogW(5, L"%s: Not configuring operator because agent does not support multiple operators", self);
    return false;
  }
  if (!IsAgentInstalled(std::wstring())) {
    LogW(5, L"%s: Not configuring new operator because agent is not yet installed", self);
    return false;
  }
  return true;
}

int StubProgram::InstallNewOperator() {
  const wchar_t* self = L"StubProgram::InstallNewOperator";
  LogW(4, L"%s: Installing new operator data", self);
  DelayLoadErrorRecord error = {};
  int code = AgentLibraries::LateboundLoadTest(&error);
  if (code != 0) {
    AgentLibraries::LogResolverFailure(self, L"kh_rk_latebound ordinal 1", code, error);
    LogW(2, L"%s: Failed to load kh_rk_latebound library", self);
    return ExitCode::InstallationFailed;
  }

  LarkProperties* properties = LarkProperties::Instance();
  const struct {
    std::wstring path;
    DWORD type;
  } packages[] = {
      {properties->GetLateboundSettingsPath(), kSettings},
      {properties->GetLateboundLocalizationPath(), kLocalization},
      {properties->GetLateboundCustomizationPath(), kCustomization},
      {properties->GetLateboundHelpPath(), kHelp},
  };
  std::wstring target = GetLateboundTargetDir();
  for (const auto& package : packages) {
    unsigned long result = InstallLateboundPackage(target, package.path, package.type);
    if (result != 0) {
      LogW(2, L"%s: failed to install install latebound type %d.", self, static_cast<int>(package.type));
      return result == kLateboundRefused ? ExitCode::Incompatible : ExitCode::InstallationFailed;
    }
  }

  DWORD processId = LaunchProcess(MakePath(GetTargetDirectory(), L"kh_reload_latebound_settings.exe"), L"");
  if (processId != 0) {
    WaitForProcess(processId, kReloadWaitMs);
  } else {
    LogW(2, L"%s: Failed to start latebound settings loading tool", self);
  }

  if (ConfigureNewOperator()) return ExitCode::Success;
  LogW(2, L"%s: Failed to configure new operator", self);
  return ExitCode::InstallationFailed;
}

bool StubProgram::ConfigureNewOperator() {
  const wchar_t* self = L"StubProgram::ConfigureNewOperator";
  LogW(5, L"%s: Configuring new operator", self);
  LarkProperties* properties = LarkProperties::Instance();
  OperatorConfig config;
  OperatorConfigParams(config);
  config.operatorId = OperatorIdNumber(properties->GetSetting(L"PartnerID"));
  config.lateboundTargetDir = GetLateboundTargetDir();
  config.uninstallation = properties->GetSetting(L"AgentName");
  config.shortcutName = properties->GetSetting(L"Shortcutname");
  config.khDiagShortcutName = properties->GetSetting(L"KhDiagShortcutName");
  config.startMenuFolder = properties->GetSetting(L"StartMenuFolder");
  config.licenseTermsHash = m_licenseTermsHash;
  config.language = properties->GetLanguage();

  OperatorConfig copy;
  OperatorConfigCopy(copy, config);
  logOperatorConfigStruct(copy);
  if (OperatorConfigurator::run(copy)) {
    ConfigureNewOperatorSucceed();
    return true;
  }
  ConfigureNewOperatorFailed();
  LogW(2, L"%s: Failed to configure operator. Stub is exiting.", self);
  return false;
}

namespace {

// The report's record: only the id, the late-bound folder and the
// uninstallation entry name; every other string empty.
OperatorConfig ReportConfig(StubProgram& program) {
  LarkProperties* properties = LarkProperties::Instance();
  OperatorConfig config;
  OperatorConfigParams(config);
  config.operatorId = OperatorIdNumber(properties->GetSetting(L"PartnerID"));
  config.lateboundTargetDir = program.GetLateboundTargetDir();
  config.uninstallation = properties->GetSetting(L"AgentName");
  OperatorConfig copy;
  OperatorConfigCopy(copy, config);
  logOperatorConfigStruct(copy);
  return copy;
}

}  // namespace

bool StubProgram::ConfigureNewOperatorSucceed() {
  LogW(5, L"%s: Configuring new operator Succeed", L"StubProgram::ConfigureNewOperatorSucceed");
  return OperatorConfigurator::succeed(ReportConfig(*this));
}

bool StubProgram::ConfigureNewOperatorFailed() {
  LogW(5, L"%s: Configuring new operator Failed", L"StubProgram::ConfigureNewOperatorFailed");
  return OperatorConfigurator::failed(ReportConfig(*this));
}
