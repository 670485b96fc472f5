#include "platform/ProcessLaunch.h"

#include <windows.h>
#include <shellapi.h>

#include "logging/Log.h"
#include "platform/PathUtils.h"

bool RunProgramHidden(const std::wstring& file, const std::wstring& parameters) {
  // The shell would look for a name without its folder in the current
  // folder and along the search path.
  if (!IsAbsolutePath(file)) {
    LogW(3, L"%s: Not starting '%s': not an absolute path", L"RunProgramHidden", file.c_str());
    return false;
  }
  const std::wstring quoted = QuoteString(file);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  // A program that cannot be started must come back as false, not as an
  // error box that waits for a user who may not be there.
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpFile = quoted.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  return ShellExecuteExW(&info) != FALSE;
}
