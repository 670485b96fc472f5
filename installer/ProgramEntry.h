// Start-up and shut-down of larkstubinst: console, single-instance probe,
// log folder and logger, StubProgram, temporary-folder clean-up and the exit
// code. wWinMain only calls RunStubInstaller.
#pragma once

#include <windows.h>

#include <string>

// Runs the whole program and returns its exit code (installer/ExitCodes.h).
int RunStubInstaller(HINSTANCE instance);

// Removes the folder tree; an empty path does nothing. A failed removal is
// swallowed: the caller never sees it.
void RemoveTempDirectory(const std::wstring& path);

// Whether the run's temporary folder is removed at exit: the elevated copy
// keeps it (the download folder) after any result but 0, 8 and 9, so a
// later run can resume its downloads.
bool ShouldRemoveTempDirectory(bool elevated, int exitCode);
