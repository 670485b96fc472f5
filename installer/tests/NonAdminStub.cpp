// A test build of larkstubinst whose administrator test always answers
// "no". Wine's user is always an administrator, so the road of a user
// without administrator rights can only be run this way; the product's own
// entry never touches the check.
#include <windows.h>

#include "installer/ProgramEntry.h"
#include "installer/StubProgram.h"
#include "platform/SystemLibrary.h"

namespace {
bool NeverAdmin() { return false; }
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  RestrictLibrarySearch();
  StubProgram::s_isUserAdmin = &NeverAdmin;
  return RunStubInstaller(instance);
}
