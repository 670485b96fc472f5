// Stand-in of the maker's policy-manager library "QELMAPI.dll" (the
// callee-pops convention throughout). Built without
// PlxCreateUserSessionPolicyOID as the partial variant.
#include "testsupport/standins/StandinRecorder.h"

#define STANDIN_EXPORT extern "C" __declspec(dllexport)

STANDIN_EXPORT int WINAPI PlxInitLibrary() {
  standin::Record("PlxInitLibrary()");
  return 0;
}

#ifndef LARK_STANDIN_PARTIAL
STANDIN_EXPORT int WINAPI PlxCreateUserSessionPolicyOID(const char* oid, void** handle) {
  standin::Record("PlxCreateUserSessionPolicyOID(\"%s\",%s)", oid ? oid : "(null)", standin::Preset(handle).c_str());
  int answer = standin::Answer("PlxCreateUserSessionPolicyOID", 0);
  if (handle && answer == 0) *handle = standin::MakeHandle(standin::Answer("OidHandle", 119));
  return answer;
}
#endif

STANDIN_EXPORT int WINAPI PlxClose(void* handle) {
  standin::Record("PlxClose(%lu)", standin::HandleValue(handle));
  return 0;
}
