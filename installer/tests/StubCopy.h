// Runs of the real installer program for end-to-end tests: a copy of a
// built larkstubinst whose embedded operator settings (PROPERTIES resource
// 131) get extra lines, e.g. addresses on the loopback test server, and the
// log text that a run added to the shared log files.
#pragma once

#include <windows.h>

#include <string>

namespace stubrun {

// Copies source to destination and appends settingsLines (PROPERTIES lines,
// "Key=Value" or "lang:Key=Value", separated by "\r\n") to its resource
// 131; a later line replaces an earlier one. dropKeys names keys (exactly
// as written, e.g. "BCXBasicSettingsUrl") whose global lines are removed.
bool MakeStubCopy(const std::wstring& source, const std::wstring& destination, const std::wstring& settingsLines,
                  const std::wstring& dropKeys = L"");

// The log folder of the installer and the size of a log file.
std::wstring LogFolder();
size_t FileSize(const std::wstring& path);
// The UTF-16LE text that a log file gained after offset bytes.
std::wstring LogTextAfter(const std::wstring& path, size_t offset);

}  // namespace stubrun
