#include "platform/DelayLoad.h"

// Placeholder bodies; the resolver proper replaces them.
int CallWithDelayLoad(int, void (*)(), DelayLoadErrorRecord* error) {
  if (error) error->code = 1;
  return 1;
}
std::string GetDelayLoadKey(int id) {
  if (id == 0) return "Software\\Brine Works\\K-Harbor\\Delay Loading";
  return "Software\\K-Harbor\\BCX\\Delay Loading\\" + std::to_string(id);
}
HMODULE LoadDelayLoadedLibrary(HKEY, const char*, const char*) { return nullptr; }
const char* ReadDelayLoadPath(HKEY, const char*, const char*) { return ""; }
