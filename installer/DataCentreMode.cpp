#include "installer/StubProgram.h"

// Placeholder bodies; the data-centre mode replaces them.
void StubProgram::VN48HackForDC(const std::wstring&) {}
void StubProgram::VN48HackForDC_UseJediForceToAvoidThrottlingOnNextPackagingCall() {}
bool StubProgram::VN48HackForDC_AddOperatorToSegmentations() { return false; }
bool StubProgram::VN48HackForDC_ModifyTWYXCache() { return false; }
bool StubProgram::VN48HackForDC_MakePackagesToIgnoreThrottling(std::string&) { return false; }
std::string StubProgram::VN48HackForDC_ReadFile(const std::wstring&) { return std::string(); }
bool StubProgram::VN48HackForDC_WriteFile(const std::wstring&, const std::string&) { return false; }
