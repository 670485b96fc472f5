// The system folder, from which the programs and libraries of the system
// are started and loaded by full path. A bare name would let the search
// order pick a file of that name beside the program (a Downloads folder)
// or in the current folder before the system's own.
#pragma once

#include <windows.h>

#include <string>

// GetSystemDirectoryW's folder; empty when it cannot be read.
std::wstring GetSystemFolder();
// name in the system folder, by full path; empty when the folder cannot be
// read (never the bare name).
std::wstring SystemFilePath(const std::wstring& name);

// For tests only: the function that GetSystemFolder asks instead of
// GetSystemDirectoryW (same contract); null puts GetSystemDirectoryW back.
// The program itself never calls this.
typedef UINT(WINAPI* SystemDirectorySource)(LPWSTR buffer, UINT size);
void SetSystemDirectorySourceForTests(SystemDirectorySource source);
