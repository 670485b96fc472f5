#include "installer/StubProgram.h"

#include "installer/ExitCodes.h"

// Placeholder bodies; the new-operator road replaces them.
bool StubProgram::ShouldConfigureNewOperator() { return false; }
int StubProgram::InstallNewOperator() { return ExitCode::InstallationFailed; }
bool StubProgram::ConfigureNewOperator() { return false; }
bool StubProgram::ConfigureNewOperatorSucceed() { return false; }
bool StubProgram::ConfigureNewOperatorFailed() { return false; }
