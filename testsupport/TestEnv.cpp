#include "testsupport/TestEnv.h"

#include <cstdio>
#include <cstdlib>

namespace larktest {

std::wstring GetEnv(const wchar_t* name) {
  wchar_t buffer[4096];
  DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
  if (n == 0 || n >= 4096) return std::wstring();
  return std::wstring(buffer, n);
}

std::wstring UnixToWindowsPath(const std::wstring& unixPath) {
  if (unixPath.size() >= 2 && unixPath[1] == L':') return unixPath;
  std::wstring out = L"Z:" + unixPath;
  for (auto& c : out)
    if (c == L'/') c = L'\\';
  while (out.size() > 3 && out.back() == L'\\') out.pop_back();
  return out;
}

std::wstring SourceDir() { return UnixToWindowsPath(GetEnv(L"LARK_SOURCE_DIR")); }
std::wstring BinaryDir() { return UnixToWindowsPath(GetEnv(L"LARK_BINARY_DIR")); }

std::wstring BuiltExe(const std::wstring& targetName) {
  // Every executable target is placed in <build>/bin (see CMAKE_RUNTIME_OUTPUT_DIRECTORY).
  return BinaryDir() + L"\\bin\\" + targetName + L".exe";
}

static LONG g_counter = 0;

std::wstring UniqueName(const std::wstring& prefix) {
  LONG n = InterlockedIncrement(&g_counter);
  return prefix + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(n);
}

ScratchDir::ScratchDir(const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring base = std::wstring(temp) + L"lark-tests";
  CreateDirectoryW(base.c_str(), nullptr);
  m_path = base + L"\\" + UniqueName(name + L"-");
  RemoveTree(m_path);
  CreateDirectoryW(m_path.c_str(), nullptr);
}

ScratchDir::~ScratchDir() {
  if (GetEnv(L"LARK_KEEP_SCRATCH").empty()) RemoveTree(m_path);
}

bool RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring full = path + L"\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(full.c_str());
      }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryW(path.c_str());
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
  bytes.clear();
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(h);
  return true;
}

bool WriteFileBytes(const std::wstring& path, const void* data, size_t size) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = size == 0 || WriteFile(h, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(h);
  return ok && written == size;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  return WriteFileBytes(path, bytes.data(), bytes.size());
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

bool StartProcess(const std::wstring& commandLine, PROCESS_INFORMATION& pi, const std::wstring& workingDir) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back(L'\0');
  pi = PROCESS_INFORMATION();
  return CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi) != FALSE;
}

namespace {
// Waits for a started process (ending it after timeoutMs), notes how it
// ended and closes its handles.
void Finish(PROCESS_INFORMATION& pi, DWORD timeoutMs, ProcessResult& r) {
  r.started = true;
  if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    r.timedOut = true;
    TerminateProcess(pi.hProcess, 0xDEAD);
    WaitForSingleObject(pi.hProcess, 5000);
  }
  GetExitCodeProcess(pi.hProcess, &r.exitCode);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}
}  // namespace

ProcessResult RunProcess(const std::wstring& commandLine, const std::wstring& workingDir, DWORD timeoutMs) {
  ProcessResult r;
  PROCESS_INFORMATION pi;
  if (StartProcess(commandLine, pi, workingDir)) Finish(pi, timeoutMs, r);
  return r;
}

CapturedRun RunCaptured(const std::wstring& commandLine, DWORD timeoutMs) {
  CapturedRun r;
  ScratchDir dir(L"captured-run");
  const std::wstring outPath = dir.file(L"out.txt");
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                           0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return r;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out;
  si.hStdError = out;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back(L'\0');
  PROCESS_INFORMATION pi = {};
  if (CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    Finish(pi, timeoutMs, r);
  CloseHandle(out);
  ReadFileBytes(outPath, r.output);
  return r;
}

}  // namespace larktest
