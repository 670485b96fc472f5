// The entries of the installed agent's late-bound package library
// ("kh_rk_latebound.dll", by ordinal) and operator-configuration library
// ("kh_rk_operator_config32.dll", by name). Every call runs under the
// delay-load resolver with the identifier 100, so a library that is missing
// or lacks the entry yields the resolver's code (1 library, 2 entry,
// 3 descriptor) with the names in *error instead of an exception.
#pragma once

#include <windows.h>

#include "installer/OperatorConfig.h"
#include "platform/DelayLoad.h"

namespace AgentLibraries {

const int kDelayLoadId = 100;

// The operator-configuration entries that take the operator record.
enum class OperatorEntry { Install, Succeed, Failed };

// Each returns 0 when the entry was bound and called (its answer in
// *answer), else the resolver's code.
int LateboundLoadTest(DelayLoadErrorRecord* error);
int LateboundInstall(const wchar_t* package, const wchar_t* target, DWORD type, DWORD* answer,
                     DelayLoadErrorRecord* error);
int OperatorConfigLoadTest(DelayLoadErrorRecord* error);
int OperatorConfigCall(OperatorEntry entry, OperatorConfigInstallRecord* record, int* answer,
                       DelayLoadErrorRecord* error);

// A Windows error code for a resolver code (126 library not found,
// 127 entry not found, 87 invalid descriptor), for callers whose result
// is an error number of the library.
DWORD ErrorForResolverCode(int code);

// Logs at level 2 under caller which entry could not be called and why.
void LogResolverFailure(const wchar_t* caller, const wchar_t* entry, int code, const DelayLoadErrorRecord& error);

}  // namespace AgentLibraries
