#include "platform/SystemFolder.h"

#include "platform/PathUtils.h"

namespace {
SystemDirectorySource g_source = nullptr;
}  // namespace

std::wstring GetSystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = g_source ? g_source(folder, MAX_PATH) : GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(folder, length);
}

std::wstring SystemFilePath(const std::wstring& name) {
  const std::wstring folder = GetSystemFolder();
  if (folder.empty()) return std::wstring();
  return MakePath(folder, name);
}

void SetSystemDirectorySourceForTests(SystemDirectorySource source) { g_source = source; }
