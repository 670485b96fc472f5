// Starting another program without a window.
#pragma once

#include <string>

// ShellExecuteExW of the quoted file with parameters, hidden, not waited
// for; true when the shell accepted the request.
bool RunProgramHidden(const std::wstring& file, const std::wstring& parameters);
