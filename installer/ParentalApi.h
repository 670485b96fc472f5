// The calling conventions and arguments of the parental-control check's
// entries in the maker's three libraries, as the check calls them. The QOMA
// and Plx functions and WYTE_DelayLoadInitialize pop their own arguments
// (WINAPI); the other WYTE_ functions leave that to the caller (__cdecl).
// A 32-bit caller that declares one the other way leaves the stack pointer
// off by the arguments' size after every call.
#pragma once

#include <windows.h>

namespace parental_api {

typedef void(WINAPI* QomaDelayLoadInitializeFn)();
typedef int(WINAPI* QomaInitializeFn)(DWORD version, void* reserved);
typedef int(WINAPI* QomaRegisterModuleFn)(void** module, void* oid);
typedef int(WINAPI* QomaUnregisterModuleFn)(void* module);
typedef int(WINAPI* QomaUninitializeFn)();

typedef int(WINAPI* PlxInitLibraryFn)();
typedef int(WINAPI* PlxCreateUserSessionPolicyOidFn)(const char* oid, void** handle);
typedef int(WINAPI* PlxCloseFn)(void* handle);

typedef void(WINAPI* WyteDelayLoadInitializeFn)();
typedef int(__cdecl* WyteCreateHandleOnProfileFn)(void* module, const char* language, int profileId,
                                                  void** profile);
typedef int(__cdecl* WyteIsPasswordInitializedFn)(void* profile, int* set);
typedef int(__cdecl* WyteAuthenticateUserOperationFn)(void* profile, int operation, int* result);
typedef int(__cdecl* WyteSwitchToProfileFn)(void* profile, int profileId);
typedef int(__cdecl* WyteUnAuthenticateUserOperationFn)(void* profile);
typedef int(__cdecl* WyteCloseHandleFn)(void* profile);

}  // namespace parental_api
