// Helpers that every test executable shares: where the source and build
// trees are (as Windows paths inside the Wine prefix), private scratch
// folders, whole-file reads and writes, and starting a helper process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace larktest {

// Value of an environment variable, empty when it is not set.
std::wstring GetEnv(const wchar_t* name);

// Maps a Unix path (as CTest passes them) to the Windows path through
// Wine's Z: drive; a path that already has a drive letter is returned as is.
std::wstring UnixToWindowsPath(const std::wstring& unixPath);

// The source and build trees (Windows form, no trailing backslash).
std::wstring SourceDir();
std::wstring BinaryDir();

// Path of an executable built by this tree's testsupport or a subsystem,
// given its target name without ".exe" (found in the build tree).
std::wstring BuiltExe(const std::wstring& targetName);

// A new, empty folder for one test: %TEMP%\lark-tests\<name>-<pid>-<n>.
// Removed by ~ScratchDir unless the environment sets LARK_KEEP_SCRATCH.
class ScratchDir {
 public:
  explicit ScratchDir(const std::wstring& name);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::wstring& path() const { return m_path; }
  std::wstring file(const std::wstring& name) const { return m_path + L"\\" + name; }

 private:
  std::wstring m_path;
};

// Removes a folder tree (files first); true when it is gone afterwards.
bool RemoveTree(const std::wstring& path);

bool ReadFileBytes(const std::wstring& path, std::string& bytes);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool WriteFileBytes(const std::wstring& path, const void* data, size_t size);

// UTF-16 <-> UTF-8 for test messages and fixtures.
std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& utf8);

struct ProcessResult {
  bool started = false;
  DWORD exitCode = 0;
  bool timedOut = false;
};

// Starts commandLine (the program's path quoted by the caller if needed)
// in workingDir (empty: the current one) and waits up to timeoutMs.
ProcessResult RunProcess(const std::wstring& commandLine, const std::wstring& workingDir = L"",
                         DWORD timeoutMs = 30000);

// RunProcess with the program's standard output and error caught in one
// file (its standard input is this process's). exitCode is 0xFFFFFFFF when
// the program did not start; a program still running after timeoutMs is
// ended.
struct CapturedRun : ProcessResult {
  CapturedRun() { exitCode = 0xFFFFFFFF; }
  std::string output;
};
CapturedRun RunCaptured(const std::wstring& commandLine, DWORD timeoutMs = 30000);

// Starts a process and returns its handles without waiting (caller closes).
bool StartProcess(const std::wstring& commandLine, PROCESS_INFORMATION& pi,
                  const std::wstring& workingDir = L"");

// A name that is unique to this process and call, for kernel objects and
// registry keys: prefix + pid + counter.
std::wstring UniqueName(const std::wstring& prefix);

// Makes folder the process's current folder while it lives.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::wstring& folder) {
    wchar_t old[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, old);
    m_old = old;
    m_changed = SetCurrentDirectoryW(folder.c_str()) != FALSE;
  }
  ~CurrentFolder() { SetCurrentDirectoryW(m_old.c_str()); }
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;
  bool changed() const { return m_changed; }

 private:
  std::wstring m_old;
  bool m_changed = false;
};

}  // namespace larktest
