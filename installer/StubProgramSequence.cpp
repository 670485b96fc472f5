// The top of the installation: embedded settings, the installation
// language, single instance, the settings and conflict checks, and the
// branch between installing and opening an agent that is already installed
// for this operator. Also the checks that the later sequences share:
// requirements (operating system, free space) and the target folders.
#include <shlobj.h>

#include <cwchar>
#include <stdexcept>
#include <vector>

#include "installer/ExitCodes.h"
#include "installer/ParentalModeChecker.h"
#include "installer/PostInstall.h"
#include "installer/StubProgram.h"
#include "logging/Log.h"
#include "platform/NamedObjects.h"
#include "platform/PathUtils.h"
#include "platform/RegKey.h"
#include "platform/SystemInfo.h"
#include "settings/LarkProperties.h"
#include "settings/Locale.h"
#include "wizard/ConflictDialog.h"
#include "wizard/DialogBase.h"
#include "wizard/DiskSpaceReqDialog.h"
#include "wizard/MessageDialog.h"
#include "wizard/WndShadow.h"
#include "wizard/WrongOSDialog.h"

namespace {
const wchar_t kAgentKey[] = L"SOFTWARE\\K-Harbor\\Lark Client";
const int kMessageError = 16;  // MB_ICONERROR with OK

// Free megabytes as the requirement compares them: 32 bits, so that the
// "unknown" answer (all bits set) passes; a larger real figure is clamped
// instead of wrapping around.
unsigned ClampMB(unsigned long long megabytes) {
  return megabytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<unsigned>(megabytes);
}
}  // namespace

int StubProgram::InstallationSequence() {
  const wchar_t* self = L"StubProgram::InstallationSequence";
  LogW(5, L"%s: ", self);
  LarkProperties* properties = LarkProperties::Instance();

  LogW(4, L"%s: -- Parsing resources", self);
  if (!properties->ParseResources(m_hInstance)) throw std::runtime_error("failed to parse resources");

  if (m_showSettings) {
    if (!m_language.empty()) properties->SetLanguage(m_language);
    LogW(4, L"%s: -- Showing embedded settings and exiting", self);
    ConsolePrintf(L"\nSettings dump:\n\n%s", properties->DumpSettings().c_str());
    return ExitCode::Success;
  }

  if (m_vn48HackForDC) {
    LogW(4, L"%s: Execute VN48HackForDCMode", self);
    VN48HackForDC_UseJediForceToAvoidThrottlingOnNextPackagingCall();
    return ExitCode::Success;
  }

  LogW(4, L"%s: -- Generating list of selectable languages", self);
  properties->GenerateSelectableLanguages();
  LogW(4, L"%s: -- Selecting default language", self);
  SelectDefaultLanguage();

  if (!m_silent) {
    SetModuleInstance(m_hInstance);
    CWndShadow::RegisterShadowClass(m_hInstance);
  }

  if (!EnsureSingleInstance()) return ExitCode::AnotherInstance;

  if (!CheckMinimumMandatorySettings()) {
    LogW(2, L"%s: Minimum mandatory settings missing! Aborting", self);
    return ExitCode::Failure;
  }

  if (!HandleConflictingOperator()) return ExitCode::Failure;

  const std::wstring operatorId = properties->GetSetting(L"PartnerID");
  LogW(4, L"%s: -- Checking if agent for is already installed for this operator", self);
  if (!IsAgentInstalled(operatorId)) {
    LogW(4, L"%s: -- Agent for this operator is not installed", self);
    SetUpAllowedToOperateSynchronization();
    if (!m_elevated) return InstallationSequenceNonElevated();
    if (!ParentalModeChecker::VerifyParent()) return ExitCode::Cancelled;
    return InstallationSequenceElevated();
  }

  LogW(4, L"%s: -- Agent is installed for this operator. Checking if we can run postinstall programs", self);
  if (CanRunPostInstallPrograms()) {
    LogW(4, L"%s: -- Parental mode check", self);
    if (!ParentalModeChecker::VerifyParent()) {
      LogW(4, L"%s: -- Parental check not passed. Stub is exiting", self);
      return ExitCode::Cancelled;
    }
    LogW(4, L"%s: -- Parental mode check Ok.", self);
    VN48HackForDC(operatorId);
    RunPostInstallPrograms(L"showAddProductPage");
    LogW(4, L"%s: -- Stub is exiting", self);
    return ExitCode::Success;
  }

  LogW(1, L"%s: -- Can't run stub. Need to run uninstallationtool first.", self);
  if (!m_silent) {
    ShowMessageDialog(properties->GetSetting(L"Title"), properties->GetLocalizedString(L"PrevInstallationBroken"),
                      nullptr, kMessageError, false);
  }
  return ExitCode::Failure;
}

void StubProgram::SelectDefaultLanguage() {
  const wchar_t* self = L"StubProgram::SelectDefaultLanguage";
  LogW(5, L"%s: ", self);
  LarkProperties* properties = LarkProperties::Instance();
  if (properties->GetSelectableLanguages().empty()) {
    LogW(1, L"%s: No selectable languages found. Can't continue.", self);
    if (m_silent) {
      ConsolePrintf(L"No selectable languages found.\n");
    } else {
      ShowMessageDialog(L"No selectable languages found.", L"Fatal error", nullptr, kMessageError, false);
    }
    throw std::runtime_error("No selectable languages found");
  }

  Locale locale;
  if (!m_language.empty()) {
    LogW(5, L"%s: Language '%s' specified in command line", self, m_language.c_str());
    if (!locale.IsSupportedLocale(m_language)) {
      LogW(5, L"%s: Command-line language '%s' isn't supported", self, m_language.c_str());
      m_language.clear();
    }
  }
  if (m_language.empty()) m_language = locale.SelectBestDefault();

  LogW(4, L"%s: Selected '%s' as default installation language", self, m_language.c_str());
  properties->SetLanguage(m_language);
}

bool StubProgram::EnsureSingleInstance() {
  const wchar_t* self = L"StubProgram::EnsureSingleInstance";
  LogW(5, L"%s: ", self);
  HANDLE mutex = m_elevated ? CreateOwnedMutex(kElevatedInstanceMutexName, true)
                            : CreateOwnedMutex(kInstanceMutexName, false);
  if (mutex) {
    if (m_hInstanceMutex) CloseHandle(m_hInstanceMutex);
    m_hInstanceMutex = mutex;
    return true;
  }

  LarkProperties* properties = LarkProperties::Instance();
  if (!m_silent) {
    const std::wstring text = ReplaceFirst(L"%PRODUCT%", properties->GetLocalizedString(L"MsiBusy"),
                                           properties->GetSetting(L"AgentName"));
    ShowMessageDialog(properties->GetSetting(L"Title"), text, nullptr, kMessageError, false);
  }
  if (m_elevated) {
    LogW(1, L"%s: There is another instance of elevated stub! Aborting", self);
  } else {
    LogW(1, L"%s: There is another instance of non elevated stub! Aborting", self);
  }
  return false;
}

bool StubProgram::CheckMinimumMandatorySettings() {
  const wchar_t* self = L"StubProgram::CheckMinimumMandatorySettings";
  LogW(5, L"%s: ", self);
  LogW(5, L"%s: Checking minimum mandatory settings", self);
  std::wstring missing;
  if (LarkProperties::Instance()->CheckMinimumMandatorySettings(missing)) return true;
  ReportInvalidSettings();
  return false;
}

bool StubProgram::CheckMandatorySettings() {
  const wchar_t* self = L"StubProgram::CheckMandatorySettings";
  LogW(5, L"%s: ", self);
  LogW(5, L"%s: Checking mandatory settings", self);
  std::wstring missing;
  if (LarkProperties::Instance()->CheckMandatorySettings(missing)) return true;
  ReportInvalidSettings();
  return false;
}

void StubProgram::ReportInvalidSettings() {
  if (m_silent) {
    ConsolePrintf(L"Stub configuration is invalid. Please contact support.\n");
  } else {
    ShowMessageDialog(L"Unable to load settings. Please contact support.", L"Fatal error", nullptr,
                      kMessageError, false);
  }
}

bool StubProgram::HandleConflictingOperator() {
  const wchar_t* self = L"StubProgram::HandleConflictingOperator";
  LogW(5, L"%s: ", self);
  if (!IsAgentInstalled(std::wstring())) return true;
  DWORD multipleOperators = 0;
  if (ReadLarkRegistry(&multipleOperators) || ReadLateboundRegistry(&multipleOperators)) {
    if (multipleOperators != 0) return true;
  }

  std::wstring productName;
  if (!IsStubFromAnotherOperator(productName)) return true;
  LogW(4, L"%s: Conflicting software %s from another operator detected", self, productName.c_str());
  if (m_silent) return false;

  for (;;) {
    int result;
    {
      ConflictDialog page(productName);
      result = page.DoModal();
    }
    std::wstring nameNow;
    if (!IsStubFromAnotherOperator(nameNow)) return true;
    if (result != ConflictDialog::kResultTryAgain) return false;
  }
}

bool StubProgram::IsStubFromAnotherOperator(std::wstring& productName) {
  const wchar_t* self = L"StubProgram::IsStubFromAnotherOperator";
  LogW(5, L"%s: ", self);
  const std::wstring newId = LarkProperties::Instance()->GetSetting(L"PartnerID");
  std::wstring oldId = newId;
  CRegKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, kAgentKey, KEY_QUERY_VALUE) != ERROR_SUCCESS) {
    LogW(5, L"%s: No old partnerID found.", self);
  } else {
    key.ReadString(oldId, L"PartnerID");
    key.ReadString(productName, L"ProductName");
    LogW(5, L"%s: Comparing new partnerID '%s' with the old one '%s'.", self, newId.c_str(), oldId.c_str());
  }
  return newId != oldId;
}

bool StubProgram::IsAgentInstalled(const std::wstring& operatorId) {
  const wchar_t* self = L"StubProgram::IsAgentInstalled";
  LogW(5, L"%s: ", self);
  bool installed = false;
  if (!operatorId.empty()) {
    std::vector<std::wstring> operators;
    if (GetInstalledOperators(operators)) {
      for (const std::wstring& id : operators) {
        if (id == operatorId) installed = true;
      }
    }
    LogW(5, L"%s: operatorId  = %s, isInstalled = %d", self, operatorId.c_str(), installed ? 1 : 0);
    return installed;
  }
  CRegKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, kAgentKey, KEY_QUERY_VALUE) == ERROR_SUCCESS) {
    std::wstring version;
    key.ReadString(version, L"Version");
    installed = !version.empty();
  }
  LogW(5, L"%s: isInstalled = %d", self, installed ? 1 : 0);
  return installed;
}

bool StubProgram::CanRunPostInstallPrograms() {
  const wchar_t* self = L"StubProgram::CanRunPostInstallPrograms";
  LogW(5, L"%s: ", self);
  const std::wstring target = GetTargetDirectory();
  for (const wchar_t* program : {L"khhoster32.exe", L"trigger.exe"}) {
    HANDLE file = CreateFileW(MakePath(target, program).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      LogW(3, L"%s: Can't run %s. It does not exists", self, program);
      return false;
    }
    CloseHandle(file);
  }
  return true;
}

bool StubProgram::CheckInstallRequirements() {
  const wchar_t* self = L"StubProgram::CheckInstallRequirements";
  LogW(5, L"%s: ", self);
  const std::wstring diskSpace = LarkProperties::Instance()->GetSetting(L"diskSpace");
  LogW(5, L"%s: Disk space system req. from properties is '%s'.", self, diskSpace.c_str());
  if (!diskSpace.empty()) m_minProgramFilesMB = static_cast<int>(wcstoul(diskSpace.c_str(), nullptr, 10));

  LogW(4, L"%s: -- Checking install requirements", self);
  LogW(5, L"%s: Checking OS", self);
  SystemInfo system;
  if (!system.CheckOS(m_minOSLevel)) {
    LogW(2, L"%s: Unsupported OS version", self);
    if (!m_silent) {
      LogW(4, L"%s: Showing Wrong OS dialog..", self);
      WrongOSDialog page;
      page.DoModal();
      LogW(4, L"%s: Showing Wrong OS dialog Done", self);
    }
    return false;
  }

  LogW(5, L"%s: Checking space in Program Files..", self);
  const std::wstring programFiles = GetFolderPath(CSIDL_PROGRAM_FILES);
  const unsigned required = static_cast<unsigned>(m_minProgramFilesMB);
  const unsigned available = ClampMB(system.GetFreeDiskSpace(programFiles));
  if (required <= available) return true;

  const std::wstring drive = programFiles.substr(0, 3);
  LogW(2, L"%s: Not enough disk space in %s. Required is %u, available is %u", self, drive.c_str(), required,
       available);
  if (m_silent) return false;
  DiskSpaceReqDialog page;
  page.SetDrive(drive);
  page.SetRequired(required);
  page.SetAvailable(available);
  return page.DoModal() == DiskSpaceReqDialog::kResultEnoughSpace;
}

std::wstring StubProgram::GetTargetDirectory() {
  const wchar_t* self = L"StubProgram::GetTargetDirectory";
  LogW(5, L"%s: ", self);
  if (!m_targetDirectory.empty()) return m_targetDirectory;
  std::wstring previous;
  // An empty "InstallPath" names no folder. Taken as found, it would hand
  // Windows Installer an empty TARGETDIR together with a reinstallation of
  // a product that is not there, and the agent's programs would be looked
  // for by bare file name in the current folder; so it counts as no previous
  // installation.
  if (getTargetDir(previous) && !previous.empty()) {
    m_targetDirectory = previous;
    m_reinstall = true;
    LogW(5, L"%s: found previous installation dir '%s'", self, m_targetDirectory.c_str());
  } else {
    m_targetDirectory = MakePath(GetFolderPath(CSIDL_PROGRAM_FILES),
                                 LarkProperties::Instance()->GetSetting(L"InstallDirUnderProgramFiles"));
    LogW(4, L"%s: Target directory: '%s'", self, m_targetDirectory.c_str());
  }
  return m_targetDirectory;
}

std::wstring StubProgram::GetLateboundTargetDir() {
  LogW(5, L"%s: ", L"StubProgram::GetLateboundTargetDir");
  std::wstring path = MakePath(GetFolderPath(CSIDL_COMMON_APPDATA), L"K-Harbor");
  path = MakePath(path, L"latebound");
  path = MakePath(path, L"100");
  path = MakePath(path, LarkProperties::Instance()->GetSetting(L"PartnerID"));
  return path + L"\\";
}
