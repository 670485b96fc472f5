// Helper for the resolver's tests that need their own executable folder:
//   platform_delayload_child ID LIBRARY IMPORT OUTFILE
// binds IMPORT (a name, or "#n" for ordinal n) of LIBRARY under delay-load
// id ID and writes "code|library|function|module path" to OUTFILE. The exit
// code is CallWithDelayLoad's. ID "outside" binds without CallWithDelayLoad,
// under the process's initial search key, and reports the DelayLoadError.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/DelayLoad.h"

namespace {
std::unique_ptr<DelayLoadImport> g_import;
void Init() { g_import->Bind(); }
}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 100;
  std::string libraryName = argv[2];
  std::string importName = argv[3];
  DelayLoadLibrary library(libraryName.c_str());
  if (importName[0] == '#') {
    g_import.reset(new DelayLoadImport(library, static_cast<WORD>(atoi(importName.c_str() + 1))));
  } else {
    g_import.reset(new DelayLoadImport(library, importName.c_str()));
  }
  DelayLoadErrorRecord error = {};
  int code = 0;
  if (std::string(argv[1]) == "outside") {
    try {
      g_import->Bind();
    } catch (const DelayLoadError& failure) {
      code = failure.Code() == kDelayLoadModuleNotFound ? 1 : failure.Code() == kDelayLoadProcNotFound ? 2 : 3;
      snprintf(error.libraryName, sizeof(error.libraryName), "%s", failure.LibraryName());
      snprintf(error.functionName, sizeof(error.functionName), "%s", failure.FunctionName());
    }
  } else {
    code = CallWithDelayLoad(atoi(argv[1]), Init, &error);
  }
  char modulePath[MAX_PATH] = "";
  if (library.Module()) GetModuleFileNameA(library.Module(), modulePath, MAX_PATH);
  FILE* out = fopen(argv[4], "w");
  if (!out) return 101;
  fprintf(out, "%d|%s|%s|%s", code, error.libraryName, error.functionName, modulePath);
  fclose(out);
  return code;
}
