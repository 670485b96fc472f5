#include "installer/StubProgram.h"

#include "installer/ExitCodes.h"

// Placeholder bodies; the installation sequence replaces them.
int StubProgram::InstallationSequence() { return ExitCode::Success; }
void StubProgram::SelectDefaultLanguage() {}
bool StubProgram::EnsureSingleInstance() { return true; }
bool StubProgram::CheckMinimumMandatorySettings() { return true; }
bool StubProgram::CheckMandatorySettings() { return true; }
bool StubProgram::HandleConflictingOperator() { return true; }
bool StubProgram::IsStubFromAnotherOperator(std::wstring&) { return false; }
bool StubProgram::IsAgentInstalled(const std::wstring&) { return false; }
bool StubProgram::CanRunPostInstallPrograms() { return false; }
bool StubProgram::CheckInstallRequirements() { return true; }
std::wstring StubProgram::GetTargetDirectory() { return m_targetDirectory; }
std::wstring StubProgram::GetLateboundTargetDir() { return std::wstring(); }
