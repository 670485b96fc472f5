// Libraries of the system, loaded only from the system folder.
//
// Windows takes a small known set of libraries (kernel32, user32, gdi32,
// advapi32, shell32, ole32, oleaut32, msvcrt, comdlg32, shlwapi, and
// comctl32 through the manifest) from its own folder whatever lies beside a
// program. For every other library it looks beside the program first, so a
// file of that name planted in the folder the installer was started from (a
// browser's downloads folder) would run inside it, and inside its elevated
// copy. The programs therefore import only that known set statically; the
// other system libraries the installer calls (msi, wintrust, crypt32,
// wtsapi32, msimg32, wininet) are bound at the first call of one of their
// functions by full path from the system folder (SystemImports.cpp), and
// riched20 is loaded here too.
//
// A function whose library or entry cannot be bound logs the failure once,
// sets ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND as the last error and
// returns the function's own failure value (FALSE, null, an error code), so
// the road that needs it fails the way it fails for any other error of that
// function. The next call tries again.
#pragma once

#include <windows.h>

// The program's first step: where kernel32 has SetDefaultDllDirectories,
// every later load by name searches the system folder only; everywhere, the
// current folder is taken out of the search (SetDllDirectoryW(L"")).
void RestrictLibrarySearch();

// Loads fileName from the system folder by its full path, with its own
// dependencies searched from there too (LOAD_WITH_ALTERED_SEARCH_PATH).
// Null, with the reason logged and kept as the last error, when the folder
// cannot be read or the library cannot be loaded. Nothing unloads it.
HMODULE LoadSystemLibrary(const wchar_t* fileName);
