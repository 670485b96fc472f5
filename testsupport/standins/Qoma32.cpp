// Stand-in of the maker's management-agent library "qoma32.dll" (the
// callee-pops convention throughout). Built without QOMARegisterModule as
// the partial variant.
#include "testsupport/standins/StandinRecorder.h"

#define STANDIN_EXPORT extern "C" __declspec(dllexport)

STANDIN_EXPORT void WINAPI QOMADelayLoadInitialize() { standin::Record("QOMADelayLoadInitialize()"); }

STANDIN_EXPORT int WINAPI QOMAInitialize(DWORD version, void* reserved) {
  standin::Record("QOMAInitialize(%lu,%lu)", static_cast<unsigned long>(version), standin::HandleValue(reserved));
  return standin::Answer("QOMAInitialize", 0x4000000);
}

#ifndef LARK_STANDIN_PARTIAL
STANDIN_EXPORT int WINAPI QOMARegisterModule(void** module, void* oid) {
  standin::Record("QOMARegisterModule(%s,%lu)", standin::Preset(module).c_str(), standin::HandleValue(oid));
  int handle = standin::Answer("ModuleHandle", 81);
  if (module && handle) *module = standin::MakeHandle(handle);
  return standin::Answer("QOMARegisterModule", 0x4000000);
}
#endif

STANDIN_EXPORT int WINAPI QOMAUnregisterModule(void* module) {
  standin::Record("QOMAUnregisterModule(%lu)", standin::HandleValue(module));
  return 0x4000000;
}

STANDIN_EXPORT int WINAPI QOMAUninitialize() {
  standin::Record("QOMAUninitialize()");
  return 0x4000000;
}
