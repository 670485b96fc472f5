#include "platform/ProcessLaunch.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/PathUtils.h"

bool RunProgramHidden(const std::wstring& file, const std::wstring& parameters) {
  const std::wstring quoted = QuoteString(file);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.lpFile = quoted.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  return ShellExecuteExW(&info) != FALSE;
}
