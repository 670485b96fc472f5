#include "installer/StubProgram.h"

#include "installer/ExitCodes.h"

// Placeholder bodies; the elevated flows replace them.
int StubProgram::InstallationSequenceElevated() { return ExitCode::Failure; }
void StubProgram::SetStubConfigurationServiceUrl() {}
void StubProgram::DownloadStubConfig() {}
bool StubProgram::HostsOK() { return true; }
int StubProgram::SilentInstallSequence() { return ExitCode::Failure; }
int StubProgram::InstallMSI(const std::wstring&) { return ExitCode::InstallationFailed; }
bool StubProgram::SilentDownloadFile(const std::wstring&, const std::wstring&) { return false; }
bool StubProgram::LateboundPackageDownload(std::wstring&, std::wstring&, std::wstring&, std::wstring&) {
  return false;
}
void StubProgram::LocalLateboundPackagePaths(std::wstring&, std::wstring&, std::wstring&, std::wstring&) {}
int StubProgram::InteractiveInstallSequence() { return ExitCode::Failure; }
int StubProgram::ShowWelcomeDlg() { return ExitCode::Cancelled; }
int StubProgram::ShowLicenseDlg() { return ExitCode::Cancelled; }
int StubProgram::ShowPrivacyDlg() { return -1; }
int StubProgram::ShowInstallationProgressDlg() { return ExitCode::Failure; }
