// The built program's first process and its elevated copy as real
// processes: the test finds the copy that the first process started from
// its secure folder, reads the copy's real command line out of the copy's
// process, then ends the copy with an unusual code and checks that the
// first process returns exactly that code. The test holds the elevated
// copy's instance mutex, so the interactive copy stops at its "another
// instance" message until the test ends it. Serial: the instance mutexes,
// the handshake event and the log files are machine-wide.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <string>
#include <thread>

#include "platform/NamedObjects.h"
#include "platform/SecurityDescriptor.h"
#include "testsupport/MutexHolder.h"
#include "testsupport/TestEnv.h"
#include "testsupport/packages/TestPackages.h"

using namespace larktest;

namespace {

typedef NTSTATUS(NTAPI* QueryProcessFn)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

// The command line that a running process was started with, read from its
// process parameters.
bool ReadCommandLine(HANDLE process, std::wstring& commandLine) {
  QueryProcessFn query = reinterpret_cast<QueryProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
  if (!query) return false;
  PROCESS_BASIC_INFORMATION basic = {};
  if (query(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0) return false;
  PEB peb = {};
  RTL_USER_PROCESS_PARAMETERS parameters = {};
  if (!ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof(peb), nullptr) ||
      !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof(parameters), nullptr))
    return false;
  commandLine.assign(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
  return commandLine.empty() ||
         ReadProcessMemory(process, parameters.CommandLine.Buffer, &commandLine[0], parameters.CommandLine.Length,
                           nullptr);
}

// The first child of parent that runs the program file name, waiting up to
// timeoutMs for it to appear.
DWORD FindChild(DWORD parent, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
      if (entry.th32ParentProcessID == parent && lstrcmpiW(entry.szExeFile, L"larkstubinst.exe") == 0)
        found = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    if (found) return found;
    Sleep(50);
  }
  return 0;
}

// Makes the program see Windows XP, where an administrator's copy starts
// without the "runas" verb. Wine starts a "runas" copy in a way that
// leaves it no usable desktop, so the copy could not show its message.
class OldWindowsForTheProgram {
 public:
  OldWindowsForTheProgram() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == 0) {
      const wchar_t version[] = L"winxp";
      RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), sizeof(version));
      RegCloseKey(key);
    }
  }
  ~OldWindowsForTheProgram() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &key) == 0) {
      RegDeleteValueW(key, L"Version");
      RegCloseKey(key);
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
  }

 private:
  static constexpr const wchar_t* kKey = L"Software\\Wine\\AppDefaults\\larkstubinst.exe";
};

TEST(ElevatedCopy, StartsFromTheSecureFolderWithTheRebuiltCommandLine) {
  OldWindowsForTheProgram windowsXp;
  MutexHolder elevatedInstance(kElevatedInstanceMutexName, true);
  ScratchDir scratch(L"elevated copy");
  const std::wstring packages = scratch.file(L"package dir");
  const std::wstring customization = scratch.file(L"custom dir");
  CreateDirectoryW(packages.c_str(), nullptr);
  CreateDirectoryW(customization.c_str(), nullptr);
  const std::wstring msi = packages + L"\\agent package.msi";
  ASSERT_TRUE(CopyFileW(TestPackagePath(L"good.msi").c_str(), msi.c_str(), FALSE));

  std::wstring line = L"\"" + BuiltExe(L"larkstubinst") + L"\" --prestub-launched --installer \"" + msi +
                      L"\" -c \"" + customization +
                      L"\" --provisioning-group grp7 --no-launch --min-program-mb 5 --min-mem-mb 700 -l en";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION first = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &first));

  const DWORD copyId = FindChild(first.dwProcessId, 20000);
  ASSERT_NE(copyId, 0u);
  HANDLE copy = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                            copyId);
  ASSERT_NE(copy, nullptr);
  std::wstring copyLine;
  EXPECT_TRUE(ReadCommandLine(copy, copyLine));
  // The copy waits on its message; ending it with a code outside the
  // table shows that the first process passes the copy's code on as it is.
  TerminateProcess(copy, 77);
  WaitForSingleObject(copy, 10000);
  CloseHandle(copy);

  EXPECT_EQ(WaitForSingleObject(first.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(first.hProcess, &code);
  EXPECT_EQ(code, 77u);
  CloseHandle(first.hThread);
  CloseHandle(first.hProcess);

  std::wstring sid;
  ASSERT_TRUE(GetCurrentUserSidString(sid));
  const std::wstring arguments = L" --installer \"" + msi + L"\" --customization-directory \"" + customization +
                                 L"\" --prestub-launched --language en --elevated --provisioning-group grp7"
                                 L" --user-sid " + sid;
  ASSERT_GT(copyLine.size(), arguments.size()) << Narrow(copyLine);
  EXPECT_EQ(Narrow(copyLine.substr(copyLine.size() - arguments.size())), Narrow(arguments));
  // The program part names the copy in the user's temporary folder ("khc").
  const std::wstring program = copyLine.substr(0, copyLine.size() - arguments.size());
  EXPECT_NE(program.find(L"\\khc"), std::wstring::npos) << Narrow(program);
  EXPECT_NE(program.find(L"larkstubinst.exe"), std::wstring::npos) << Narrow(program);
  for (const wchar_t* absent : {L"--no-launch", L"--min-program-mb", L"--min-mem-mb", L"--show-settings", L" -l "})
    EXPECT_EQ(copyLine.find(absent), std::wstring::npos) << Narrow(absent);
}

}  // namespace
