// Starting another program without a window.
#pragma once

#include <string>

// ShellExecuteExW of the quoted file with parameters, hidden, not waited
// for; true when the shell accepted the request. A file that is not an
// absolute path (IsAbsolutePath) is refused with a log line: false.
bool RunProgramHidden(const std::wstring& file, const std::wstring& parameters);
