// The elevated copy's flows once the agent is known not to be installed
// for this operator: the download folder, the stub configuration address,
// then either the silent sequence (downloads, checks, installation without
// any page) or the interactive one (licence terms, requirements,
// installation page), and the mapping of their outcomes to exit codes.
#include "download/DownloadHelper.h"
#include "hosts/HostsFix.h"
#include "installer/ExitCodes.h"
#include "installer/LarkInstaller.h"
#include "installer/PostInstall.h"
#include "installer/StubProgram.h"
#include "logging/Log.h"
#include "platform/PathUtils.h"
#include "platform/Proxy.h"
#include "settings/LarkProperties.h"
#include "wizard/MessageDialog.h"

namespace {
const int kMessageWarning = 48;

// One customization package of the silent sequence.
struct LateboundPackage {
  const wchar_t* fileName;
  const wchar_t* addressSetting;
  const wchar_t* localSuffix;  // appended to "<language>_"; null: no language
};

const LateboundPackage kPackages[] = {
    {L"langcust.zip", L"BCXBasicCustomizationUrl", L"langcust.zip"},
    {L"localization.zip", L"BCXBasicLocalizationUrl", L"localization.zip"},
    {L"help.zip", L"BCXBasicHelpUrl", L"help.zip"},
    {L"settings.zip", L"BCXBasicSettingsUrl", nullptr},
};

bool IsExistingFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

int StubProgram::InstallationSequenceElevated() {
  const wchar_t* self = L"StubProgram::InstallationSequenceElevated";
  LogW(5, L"%s: ", self);
  LarkProperties* properties = LarkProperties::Instance();
  if (!s_isUserAdmin()) {
    LogW(1, L"%s: -- Elevated sequence and user is not admin. Aborting.", self);
    if (!m_silent) {
      ShowMessageDialog(properties->GetSetting(L"Title"), properties->GetLocalizedString(L"AdministrativeRights"),
                        nullptr, kMessageWarning, false);
    }
    return ExitCode::NoAdminRights;
  }

  if (!m_local) {
    properties->SetTempDirectory(CreateDownloadDirectory());
    RestoreProxy();
    SetStubConfigurationServiceUrl();
  }

  if (m_silent) {
    LogW(4, L"%s: -- Running silent installation sequence", self);
    const int code = SilentInstallSequence();
    if (code == ExitCode::Success) {
      RunUIHosters();
      LoadInstallerPostRunner();
    }
    LogW(4, L"%s: -- Silent installation sequence complete", self);
    return code;
  }

  LogW(4, L"%s: -- Running interactive installation sequence", self);
  const int code = InteractiveInstallSequence();
  LogW(4, L"%s: -- Interactive installation sequence complete", self);
  return code;
}

void StubProgram::SetStubConfigurationServiceUrl() {
  const wchar_t* self = L"StubProgram::SetStubConfigurationServiceUrl";
  LogW(5, L"%s: ", self);
  LarkProperties* properties = LarkProperties::Instance();
  const std::wstring service = properties->GetSetting(L"StubConfigurationAddress");
  LogW(5, L"%s: StubConfigurationServiceAddress from settings: %s", self, service.c_str());
  std::wstring url = service + L"/packaging/services/spi/stubconfiguration" + L"?operatorId=" +
                     properties->GetSetting(L"PartnerID") + L"&version=" + L"55";
  std::wstring group = properties->GetProvisioningGroup();
  if (group.empty()) group = properties->GetSetting(L"ProvisioningGroup");
  if (!group.empty()) url += L"&provisioningGroup=" + group;
  LogW(5, L"%s: Setting Stub Configuration Url as %s", self, url.c_str());
  properties->SetStubConfigurationUrl(url);
}

void StubProgram::DownloadStubConfig() {
  const wchar_t* self = L"StubProgram::DownloadStubConfig";
  LogW(5, L"%s: ", self);
  LogW(4, L"%s: -- Calling backend for additional settings.", self);
  LarkProperties* properties = LarkProperties::Instance();
  const std::wstring url = properties->GetStubConfigurationUrl();
  const std::wstring file = MakePath(properties->GetTempDirectory(), L"stubconf.xml");
  LogW(5, L"%s: Downloading '%s' to '%s'", self, url.c_str(), file.c_str());
  if (SilentDownloadFile(url, file) && !properties->ParseResourcesFromXmlFile(file)) {
    LogW(2, L"%s: Failed to process settings from backend, using pre-defined settings.", self);
  }
}

bool StubProgram::HostsOK() {
  const wchar_t* self = L"StubProgram::HostsOK";
  LogW(5, L"%s: ", self);
  if (HostsFileNeedsRepair() != kHostsNeedsRepair) {
    LogW(5, L"%s: Hosts are OK", self);
    return true;
  }
  LogW(4, L"%s: Hosts are malformed, try to fix them", self);
  const int fixed = FixFile();
  if (fixed == kHostsRepaired) {
    LogW(4, L"%s: Malformed hosts has been fixed", self);
    return true;
  }
  LogW(1, L"%s: Malformed hosts cannot be fixed, ret = %d", self, fixed);
  return false;
}

bool StubProgram::SilentDownloadFile(const std::wstring& url, const std::wstring& path) {
  const wchar_t* self = L"StubProgram::SilentDownloadFile";
  LogW(5, L"%s: ", self);
  if (!HostsOK()) return false;
  Download_Helper helper;
  LogW(4, L"%s: Downloading '%s' to '%s'", self, url.c_str(), path.c_str());
  if (helper.download(url, path, nullptr)) {
    LogW(4, L"%s: File successfully downloaded to '%s'", self, path.c_str());
    return true;
  }
  LogW(2, L"%s: Downloading '%s' failed", self, url.c_str());
  return false;
}

int StubProgram::SilentInstallSequence() {
  const wchar_t* self = L"StubProgram::SilentInstallSequence";
  LogW(5, L"%s: ", self);
  LarkProperties* properties = LarkProperties::Instance();
  if (!m_local) DownloadStubConfig();

  if (!CheckMandatorySettings()) {
    LogW(1, L"%s: Mandatory settings missing. Aborting", self);
    return ExitCode::Failure;
  }
  if (!CheckInstallRequirements()) return ExitCode::RequirementsNotMet;

  std::wstring customization, localization, help, settings;
  if (m_local) {
    if (!properties->GetCustomizationDirectory().empty())
      LocalLateboundPackagePaths(customization, localization, help, settings);
  } else {
    const std::wstring installer = MakePath(properties->GetTempDirectory(), L"installer.msi");
    properties->SetInstallerPath(installer);
    if (!SilentDownloadFile(properties->GetSetting(L"LarkInstallerDownloadURL"), installer))
      return ExitCode::DownloadFailed;
    if (!LateboundPackageDownload(customization, localization, help, settings)) return ExitCode::DownloadFailed;
  }

  properties->SetLateboundCustomizationPath(customization);
  properties->SetLateboundLocalizationPath(localization);
  properties->SetLateboundHelpPath(help);
  properties->SetLateboundSettingsPath(settings);

  if (ShouldConfigureNewOperator()) {
    LogW(4, L"%s: Skipping MSI install", self);
    return InstallNewOperator();
  }
  return InstallMSI(properties->GetInstallerPath());
}

bool StubProgram::LateboundPackageDownload(std::wstring& customization, std::wstring& localization,
                                           std::wstring& help, std::wstring& settings) {
  LogW(5, L"%s: ", L"StubProgram::LateboundPackageDownload");
  LarkProperties* properties = LarkProperties::Instance();
  std::wstring* paths[] = {&customization, &localization, &help, &settings};
  std::wstring addresses[4];
  for (int i = 0; i < 4; ++i) {
    addresses[i] = properties->GetSetting(kPackages[i].addressSetting);
    const std::wstring file = MakePath(properties->GetTempDirectory(), kPackages[i].fileName);
    if (!SilentDownloadFile(addresses[i], file)) return false;
    *paths[i] = file;
  }
  RecordPackageOrigins(addresses[0], customization, addresses[1], localization, addresses[2], help, addresses[3],
                       settings);
  return true;
}

void StubProgram::LocalLateboundPackagePaths(std::wstring& customization, std::wstring& localization,
                                             std::wstring& help, std::wstring& settings) {
  LogW(5, L"%s: ", L"StubProgram::LocalLateboundPackagePaths");
  LarkProperties* properties = LarkProperties::Instance();
  const std::wstring folders[] = {properties->GetCustomizationDirectory(), properties->GetLocalizationDirectory(),
                                  properties->GetHelpDirectory(), properties->GetSettingsDirectory()};
  std::wstring* paths[] = {&customization, &localization, &help, &settings};
  const std::wstring language = GetLanguage();
  for (int i = 0; i < 4; ++i) {
    paths[i]->clear();
    // A folder that was not given has no package in it.
    if (folders[i].empty()) continue;
    const std::wstring name =
        kPackages[i].localSuffix ? language + L"_" + kPackages[i].localSuffix : std::wstring(kPackages[i].fileName);
    const std::wstring path = MakePath(folders[i], name);
    if (IsExistingFile(path)) *paths[i] = path;
  }
}

int StubProgram::InstallMSI(const std::wstring& packagePath) {
  const wchar_t* self = L"StubProgram::InstallMSI";
  LogW(5, L"%s: ", self);
  // The target directory first: finding a previous installation sets the
  // reinstall flag that the installer takes as well.
  const std::wstring target = GetTargetDirectory();
  LarkInstaller installer(GetLanguage(), target, GetLateboundTargetDir(), m_licenseTermsHash, m_reinstall);
  LogW(4, L"%s: Installing MSI package", self);
  const int result = installer.CheckAndInstall(packagePath, nullptr);
  if (result == LarkInstaller::kInstalled)
    return installer.IsRebootRequired() ? ExitCode::RebootRequired : ExitCode::Success;
  LogW(5, L"%s: Installation failed with error '%d'", self, result);
  if (result == LarkInstaller::kSignatureRefused) return ExitCode::BadSignature;
  if (result == LarkInstaller::kUnsupportedVersion) return ExitCode::Incompatible;
  return ExitCode::InstallationFailed;
}
