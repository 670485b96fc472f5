#include "installer/StubProgram.h"

#include "installer/ExitCodes.h"

// Placeholder bodies; self-elevation and the handshake replace them.
int StubProgram::InstallationSequenceNonElevated() { return ExitCode::Failure; }
DWORD StubProgram::RunElevatedCopy(const std::wstring&) { return ERROR_CALL_NOT_IMPLEMENTED; }
DWORD StubProgram::RunElevated(const std::wstring&, const std::wstring&) { return ERROR_CALL_NOT_IMPLEMENTED; }
void StubProgram::SetUpAllowedToOperateSynchronization() {}
bool StubProgram::WaitUntilAllowedToOperate() { return false; }
int StubProgram::GetReturnCodeFromElevatedCopy() { return 0; }
DWORD StubProgram::LaunchProcess(const std::wstring&, const std::wstring&) { return 0; }
void StubProgram::WaitForProcess(DWORD, DWORD) {}
void StubProgram::RunPostInstallPrograms(const std::wstring&) {}
std::wstring StubProgram::BuildElevatedArguments() { return std::wstring(); }
