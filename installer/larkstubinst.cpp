// Entry of the network installer: everything happens in RunStubInstaller.
#include <windows.h>

#include "installer/ProgramEntry.h"
#include "platform/SystemLibrary.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before anything can load a library by name.
  RestrictLibrarySearch();
  return RunStubInstaller(instance);
}
