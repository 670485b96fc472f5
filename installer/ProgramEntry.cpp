#include "installer/ProgramEntry.h"

#include <shlobj.h>

#include <exception>
#include <stdexcept>

#include "installer/ExitCodes.h"
#include "installer/StubProgram.h"
#include "logging/Log.h"
#include "platform/NamedObjects.h"
#include "platform/PathUtils.h"
#include "settings/LarkProperties.h"

namespace {
const wchar_t kEntryName[] = L"wWinMain";
}

void RemoveTempDirectory(const std::wstring& path) {
  if (path.empty()) return;
  try {
    if (!RmDirRecursiveSafe(path)) throw std::runtime_error("failed to remove directory");
  } catch (const std::exception&) {
    // Leftovers in the temporary folder must never change the result.
  }
}

bool ShouldRemoveTempDirectory(bool elevated, int exitCode) {
  if (!elevated) return true;
  return exitCode == ExitCode::Success || exitCode == ExitCode::BadSignature ||
         exitCode == ExitCode::Incompatible;
}

int RunStubInstaller(HINSTANCE instance) {
  LogW(5, L"%s: ", kEntryName);
  AttachConsole(ATTACH_PARENT_PROCESS);
  try {
    const int probe = CheckRunningInstance();

    const std::wstring logDirectory = MakePath(GetFolderPath(CSIDL_COMMON_APPDATA), L"K-Harbor\\Logs\\Lark");
    if (!MkDirPathSafe(logDirectory)) throw std::runtime_error("failed to create directory");

    LogInit(probe == 1 ? L"stub" : L"stub_2");
    LogA(4, "Compilation time: %s %s", __DATE__, __TIME__);

    LarkProperties* properties = LarkProperties::Instance();
    int code;
    {
      StubProgram program(instance);
      program.ParseArguments();
      properties->SetLogDirectory(logDirectory);
      code = program.InstallationSequence();

      if (ShouldRemoveTempDirectory(program.IsElevated(), code)) {
        const std::wstring temp = properties->GetTempDirectory();
        LogW(4, L"%s: Cleanup temp files: %s", kEntryName, temp.c_str());
        RemoveTempDirectory(temp);
      }
      LogW(5, L"%s: Returning %d", kEntryName, code);
      LogClose();
    }
    return code;
  } catch (const std::exception& e) {
    LogW(1, L"%s: Exiting with exception: %S", kEntryName, e.what());
    LogClose();
    return ExitCode::Incompatible;
  }
}
