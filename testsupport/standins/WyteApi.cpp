// Stand-in of the maker's parental-control library "wyteapi.dll": the
// load-test entry uses the callee-pops convention, every other function the
// caller-pops one. Built without WYTE_AuthenticateUserOperation as the
// partial variant.
#include "testsupport/standins/StandinRecorder.h"

#define STANDIN_EXPORT extern "C" __declspec(dllexport)

namespace {
const int kOk = 0x1c0000;
}

STANDIN_EXPORT void WINAPI WYTE_DelayLoadInitialize() { standin::Record("WYTE_DelayLoadInitialize()"); }

STANDIN_EXPORT int __cdecl WYTE_CreateHandleOnProfile(void* module, const char* language, int profileId,
                                                     void** profile) {
  standin::Record("WYTE_CreateHandleOnProfile(%lu,\"%s\",%d,%s)", standin::HandleValue(module),
                  language ? language : "(null)", profileId, standin::Preset(profile).c_str());
  int answer = standin::Answer("WYTE_CreateHandleOnProfile", kOk);
  if (profile && answer == kOk) *profile = standin::MakeHandle(standin::Answer("ProfileHandle", 153));
  return answer;
}

STANDIN_EXPORT int __cdecl WYTE_IsPasswordInitialized(void* profile, int* set) {
  standin::Record("WYTE_IsPasswordInitialized(%lu,%s)", standin::HandleValue(profile), standin::Preset(set).c_str());
  int answer = standin::Answer("WYTE_IsPasswordInitialized", kOk);
  if (set && answer == kOk) *set = standin::Answer("PasswordSet", 1);
  return answer;
}

#ifndef LARK_STANDIN_PARTIAL
STANDIN_EXPORT int __cdecl WYTE_AuthenticateUserOperation(void* profile, int operation, int* result) {
  standin::Record("WYTE_AuthenticateUserOperation(%lu,%d,%s)", standin::HandleValue(profile), operation,
                  standin::Preset(result).c_str());
  // AuthResult -1 leaves the caller's preset result as it is.
  int authorised = standin::Answer("AuthResult", 1);
  if (result && authorised != -1) *result = authorised;
  return standin::Answer("WYTE_AuthenticateUserOperation", kOk);
}
#endif

STANDIN_EXPORT int __cdecl WYTE_SwitchToProfile(void* profile, int profileId) {
  standin::Record("WYTE_SwitchToProfile(%lu,%d)", standin::HandleValue(profile), profileId);
  return kOk;
}

STANDIN_EXPORT int __cdecl WYTE_UnAuthenticateUserOperation(void* profile) {
  standin::Record("WYTE_UnAuthenticateUserOperation(%lu)", standin::HandleValue(profile));
  return kOk;
}

STANDIN_EXPORT int __cdecl WYTE_CloseHandle(void* profile) {
  standin::Record("WYTE_CloseHandle(%lu)", standin::HandleValue(profile));
  return kOk;
}
