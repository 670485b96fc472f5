// Free functions over wide strings for file-system paths, working folders,
// error texts, console output and small string jobs. Path and folder
// functions report failure by throwing std::runtime_error with a short
// narrow message; the error-text functions never fail. Fixed path buffers
// hold MAX_PATH (260) characters, terminator included.
#pragma once

#include <string>
#include <vector>

// "[code] " followed by the system's message for code (trailing line feed
// removed); just the prefix when the system has no text for the code.
std::wstring FormatSystemError(unsigned long code);
std::wstring FormatLastError();

// printf-style output to the console (at most 1023 characters). When the
// standard output is not a console it receives the same text as UTF-8.
// Returns non-zero when the text was written.
int ConsolePrintf(const wchar_t* format, ...);

// directory + separator (unless it already ends in one) + name.
std::wstring MakePath(const std::wstring& directory, const std::wstring& name);
// directory: drive and folder without one trailing backslash; file: name
// and extension.
void SplitPath(const std::wstring& path, std::wstring& directory, std::wstring& file);
std::wstring GetFullPath(const std::wstring& path);
// SHGetFolderPathW for a CSIDL (current, not default, location).
std::wstring GetFolderPath(int csidl);
// True for a path that names its place without a current folder or a search:
// a drive letter, a colon and a backslash (C:\x), or a UNC path
// (\\server\share\x). C:x, \x, x\y and bare names are not.
bool IsAbsolutePath(const std::wstring& path);
// True for an existing file; false for a folder or a missing path.
bool FileExists(const std::wstring& path);
// The text between two double quotes; nothing inside is escaped.
std::wstring QuotePath(const std::wstring& text);
std::wstring QuoteString(const std::wstring& text);

// Creates the folder and every missing parent; an existing folder is success.
bool MkDirPathSafe(const std::wstring& path);
// Deletes a folder tree. Subfolders whose names begin with '.' are not
// entered, so a tree that holds one is not removed (the call returns false).
bool RmDirRecursiveSafe(const std::wstring& path);

// The all-users application-data folder.
std::wstring GetApplicationDataDirectory();
// A folder that did not exist before, in the user's temporary folder, named
// from the first three characters of prefix and a number that starts at the
// tick count and takes the next free one (wrapping within 1 to 0xFFFF). A
// name that exists (folder, file or link) is never used; when every name is
// taken it throws.
std::wstring CreateTempDirectory(const wchar_t* prefix);
// CreateTempDirectory with an access list restricted by FileSecurity.
std::wstring CreateSecureTempDirectory(const wchar_t* prefix);
// <common appdata>\K-Harbor\Lark\Downloads, created with an access list that
// depends on whether the caller is an administrator.
std::wstring CreateDownloadDirectory();

// Copy of text with the first occurrence of what replaced; an empty what
// inserts the replacement at the front.
std::wstring ReplaceFirst(const std::wstring& what, const std::wstring& text,
                          const std::wstring& replacement);
// Pieces between commas, untrimmed, empty pieces kept ("" gives one piece).
std::vector<std::wstring> SplitByComma(const std::wstring& text);
std::wstring JoinWithSpaces(const std::vector<std::wstring>& items);
// towlower in the "C" locale: only A to Z change.
void ToLowerInPlace(std::wstring& text);
