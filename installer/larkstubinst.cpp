// Entry of the network installer: everything happens in RunStubInstaller.
#include <windows.h>

#include "installer/ProgramEntry.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) { return RunStubInstaller(instance); }
