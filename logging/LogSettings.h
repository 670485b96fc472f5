// Where logging is configured and where the log file lies.
//
// Settings are DWORD values under HKLM\SOFTWARE\K-Harbor\BCX\Logging, looked
// up first in the key <product>\<log name>, then <product>, then the
// Logging key itself; the log file is
// <Common AppData>\K-Harbor\logs\<product>\<log name>.log.
#pragma once

#include <windows.h>

namespace KhBcxLogging {

// Characters of the buffer that BuildLogFilePath fills.
const int kLogPathCapacity = 1040;

// The first value found that is not 0xFFFFFFFF in the log-name key or the
// product key, else the value in the Logging key, else the default (so a
// 0xFFFFFFFF stored in the Logging key itself is returned as it is).
DWORD ReadLoggingSetting(const wchar_t* product, const wchar_t* logName, const wchar_t* valueName,
                         DWORD defaultValue);

// Writes the log file's path into buffer (kLogPathCapacity characters) and
// returns its length, or 0 when the Common AppData folder is unknown or the
// path does not fit. A null product uses the folder "misc".
int BuildLogFilePath(const wchar_t* product, wchar_t* buffer, const wchar_t* logName);

}  // namespace KhBcxLogging
