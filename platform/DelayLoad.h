// Late binding of the maker's libraries that live in the installed agent:
// each is looked for beside the installer's executable first, then at the
// path stored in the registry under the key of its identifier.
#pragma once

#include <windows.h>

#include <string>

struct DelayLoadErrorRecord {
  int code;                 // 1 library not found, 2 function not found, 3 invalid descriptor
  char libraryName[32];
  char functionName[1024];
};

// Runs init with the search key of `id`; 0 when init returned normally,
// else the error code (also stored in *error when given).
int CallWithDelayLoad(int id, void (*init)(), DelayLoadErrorRecord* error);
std::string GetDelayLoadKey(int id);
HMODULE LoadDelayLoadedLibrary(HKEY root, const char* key, const char* library);
const char* ReadDelayLoadPath(HKEY root, const char* key, const char* library);
