// The interactive road of the elevated copy and the pages that the engine
// shows itself: welcome, licence terms with their excursions to the
// welcome and privacy pages, and the installation page, each page's result
// mapped to the engine's codes.
#include "installer/ExitCodes.h"
#include "installer/StubProgram.h"
#include "logging/Log.h"
#include "wizard/EultDialog.h"
#include "wizard/InstallDialog.h"
#include "wizard/WelcomeDialog.h"

int StubProgram::InteractiveInstallSequence() {
  LogW(5, L"%s: ", L"StubProgram::InteractiveInstallSequence");
  int licence;
  do {
    licence = ShowLicenseDlg();
  } while (licence != ExitCode::Cancelled && licence != ExitCode::LicenceAccepted);
  if (licence == ExitCode::Cancelled) return ExitCode::Cancelled;
  if (!CheckInstallRequirements()) return ExitCode::RequirementsNotMet;
  return ShowInstallationProgressDlg();
}

int StubProgram::ShowWelcomeDlg() {
  const wchar_t* self = L"StubProgram::ShowWelcomeDlg";
  LogW(5, L"%s: ", self);
  LogW(4, L"%s: -- Showing welcome dialog", self);
  int result;
  {
    WelcomeDialog page;
    result = page.DoModal();
  }
  if (result == WelcomeDialog::kResultInstall) {
    LogW(5, L"%s: -- User has selected language", self);
    return 0;
  }
  LogW(5, L"%s: -- User has canceled the installation", self);
  return ExitCode::Cancelled;
}

int StubProgram::ShowLicenseDlg() {
  const wchar_t* self = L"StubProgram::ShowLicenseDlg";
  LogW(5, L"%s: ", self);
  if (!HostsOK()) return ExitCode::Cancelled;

  int result;
  std::wstring hash;
  {
    EultDialog page(!m_prestubLaunched);
    LogW(4, L"%s: -- Showing license dialog", self);
    result = page.DoModal();
    if (result == EultDialog::kResultAccept) hash = page.GetLicenseTermsHash();
  }

  switch (result) {
    case EultDialog::kResultAccept:
      LogW(5, L"%s: -- User has agreed to terms, starting installation", self);
      m_licenseTermsHash = hash;
      return ExitCode::LicenceAccepted;
    case EultDialog::kResultBack:
      LogW(5, L"%s: -- User has clicked back, backing to welcome screen", self);
      return ShowWelcomeDlg();
    case EultDialog::kResultPrivacyLink:
      LogW(5, L"%s: -- User has clicked privacy policy link, showing privacy policy dialog", self);
      // Anything but a cancel shows the licence terms again; the privacy
      // page's own values never pass for an acceptance.
      return ShowPrivacyDlg() == ExitCode::Cancelled ? ExitCode::Cancelled : 0;
    default:
      LogW(5, L"%s: -- User has rejected terms, aborting installation.", self);
      return ExitCode::Cancelled;
  }
}

int StubProgram::ShowPrivacyDlg() {
  const wchar_t* self = L"StubProgram::ShowPrivacyDlg";
  LogW(5, L"%s: ", self);
  LogW(4, L"%s: -- Showing privacy policy dialog", self);
  PrivacyPolicyDialog page;
  return page.DoModal();
}

int StubProgram::ShowInstallationProgressDlg() {
  const wchar_t* self = L"StubProgram::ShowInstallationProgressDlg";
  LogW(5, L"%s: ", self);
  if (!HostsOK()) return ExitCode::Cancelled;

  // The target directory first: finding a previous installation sets the
  // reinstall flag that the page takes as well.
  const std::wstring target = GetTargetDirectory();
  const std::wstring latebound = GetLateboundTargetDir();
  const bool operatorOnly = ShouldConfigureNewOperator();
  int result;
  {
    InstallDialog page(this, m_local, GetLanguage(), target, latebound, m_licenseTermsHash, m_reinstall, operatorOnly,
                       m_hAllowedToOperate);
    LogW(4, L"%s: -- Showing installation progress dialog", self);
    result = page.DoModal();
  }

  switch (result) {
    case InstallDialog::kSucceeded:
      LogW(4, L"%s: -- Dialog closed. Installation succeeded.", self);
      return ExitCode::Success;
    case InstallDialog::kRebootRequired:
      LogW(4, L"%s: -- Dialog closed. Reboot is required.", self);
      return ExitCode::RebootRequired;
    case InstallDialog::kCancelled:
      LogW(4, L"%s: -- Dialog closed. User cancelled.", self);
      return ExitCode::Cancelled;
    case InstallDialog::kBadSignature:
      LogW(1, L"%s: -- Dialog closed. Installation failed due to invalid file signature.", self);
      return ExitCode::BadSignature;
    case InstallDialog::kBadStubVersion:
      LogW(1, L"%s: -- Dialog closed. Installation failed due to invalid stub version.", self);
      return ExitCode::Incompatible;
    default:
      LogW(1, L"%s: -- Dialog closed. Installation failed.", self);
      return ExitCode::Failure;
  }
}
