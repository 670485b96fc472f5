// The system libraries outside Windows' known set: each function the
// installer calls binds from the system folder at its first call, and when
// its library cannot be loaded every one of them returns its own failure
// value (never a success) with ERROR_MOD_NOT_FOUND, and a later call binds
// it after all. The program's first step keeps a library beside the program
// or in the current folder from being loaded by name.
//
// The first test must run before anything else in this process has bound
// one of these libraries.
#include <gtest/gtest.h>
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wininet.h>
#include <wintrust.h>
#include <wtsapi32.h>

#include <algorithm>
#include <functional>

#include "platform/FileSignature.h"
#include "platform/SystemFolder.h"
#include "platform/SystemLibrary.h"
#include "platform/tests/PlatformLogCapture.h"
#include "testsupport/TestEnv.h"
#include "testsupport/markers/Markers.h"
#include "testsupport/packages/TestPackages.h"

using namespace larktest;

namespace {

std::wstring g_emptyFolder;

UINT WINAPI EmptySystemFolder(LPWSTR buffer, UINT size) {
  if (g_emptyFolder.size() + 1 > size) return 0;
  wcscpy(buffer, g_emptyFolder.c_str());
  return static_cast<UINT>(g_emptyFolder.size());
}

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), towlower);
  return text;
}

std::wstring LoadedFrom(const wchar_t* library) {
  HMODULE module = GetModuleHandleW(library);
  wchar_t path[MAX_PATH] = {};
  if (module) GetModuleFileNameW(module, path, MAX_PATH);
  return Lower(path);
}

struct Call {
  const char* name;
  std::function<bool()> failed;  // true when the call returned its failure value
};

// Every function of the import table, called so that only a call that never
// reached the library is safe: with its library missing.
std::vector<Call> EveryImport() {
  static GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  return {
      {"MsiCloseHandle", [] { return MsiCloseHandle(1) == ERROR_MOD_NOT_FOUND; }},
      {"MsiDatabaseOpenViewW", [] { MSIHANDLE h = 0; return MsiDatabaseOpenViewW(1, L"", &h) == ERROR_MOD_NOT_FOUND; }},
      {"MsiEnableLogW", [] { return MsiEnableLogW(INSTALLLOGMODE_VERBOSE, L"x", 0) == ERROR_MOD_NOT_FOUND; }},
      {"MsiInstallProductW", [] { return MsiInstallProductW(L"x.msi", L"") == ERROR_MOD_NOT_FOUND; }},
      {"MsiOpenDatabaseW", [] { MSIHANDLE h = 0; return MsiOpenDatabaseW(L"x.msi", MSIDBOPEN_READONLY, &h) == ERROR_MOD_NOT_FOUND; }},
      {"MsiRecordGetStringW", [] { DWORD n = 0; return MsiRecordGetStringW(1, 1, nullptr, &n) == ERROR_MOD_NOT_FOUND; }},
      {"MsiSetExternalUIW", [] { return MsiSetExternalUIW(nullptr, 0, nullptr) == nullptr; }},
      {"MsiSetInternalUI", [] { return MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr) == INSTALLUILEVEL_NOCHANGE; }},
      {"MsiVerifyPackageW", [] { return MsiVerifyPackageW(L"x.msi") == ERROR_MOD_NOT_FOUND; }},
      {"MsiViewExecute", [] { return MsiViewExecute(1, 0) == ERROR_MOD_NOT_FOUND; }},
      {"MsiViewFetch", [] { MSIHANDLE h = 0; return MsiViewFetch(1, &h) == ERROR_MOD_NOT_FOUND; }},
      // 0 would mean "trusted".
      {"WinVerifyTrust", [] { return WinVerifyTrust(nullptr, &action, nullptr) < 0; }},
      {"WinVerifyTrustEx", [] { return WinVerifyTrustEx(nullptr, &action, nullptr) < 0; }},
      {"CertGetNameStringW", [] { wchar_t n[8]; return CertGetNameStringW(nullptr, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, n, 8) == 0; }},
      {"CryptHashPublicKeyInfo", [] { DWORD n = 0; return !CryptHashPublicKeyInfo(0, CALG_SHA1, 0, X509_ASN_ENCODING, nullptr, nullptr, &n); }},
      {"WTSEnumerateSessionsW", [] { WTS_SESSION_INFOW* s = nullptr; DWORD n = 0; return !WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &s, &n); }},
      {"WTSFreeMemory", [] { WTSFreeMemory(nullptr); return true; }},
      {"WTSQuerySessionInformationW", [] { LPWSTR b = nullptr; DWORD n = 0; return !WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, 0, WTSUserName, &b, &n); }},
      {"GradientFill", [] { return !GradientFill(nullptr, nullptr, 0, nullptr, 0, GRADIENT_FILL_RECT_H); }},
      {"HttpOpenRequestW", [] { return HttpOpenRequestW(nullptr, L"GET", L"/", nullptr, nullptr, nullptr, 0, 0) == nullptr; }},
      {"HttpQueryInfoW", [] { DWORD n = 0; return !HttpQueryInfoW(nullptr, HTTP_QUERY_STATUS_CODE, nullptr, &n, nullptr); }},
      {"HttpSendRequestW", [] { return !HttpSendRequestW(nullptr, nullptr, 0, nullptr, 0); }},
      {"InternetCloseHandle", [] { return !InternetCloseHandle(nullptr); }},
      {"InternetConnectW", [] { return InternetConnectW(nullptr, L"127.0.0.1", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0) == nullptr; }},
      {"InternetCrackUrlW", [] { URL_COMPONENTSW c = {}; c.dwStructSize = sizeof(c); return !InternetCrackUrlW(L"http://127.0.0.1/", 0, 0, &c); }},
      {"InternetOpenW", [] { return InternetOpenW(L"lark", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0) == nullptr; }},
      {"InternetReadFile", [] { char b[4]; DWORD n = 0; return !InternetReadFile(nullptr, b, 4, &n); }},
      {"InternetSetOptionW", [] { DWORD v = 1; return !InternetSetOptionW(nullptr, INTERNET_OPTION_RECEIVE_TIMEOUT, &v, sizeof v); }},
      {"InternetSetStatusCallbackW", [] { return InternetSetStatusCallbackW(nullptr, nullptr) == INTERNET_INVALID_STATUS_CALLBACK; }},
  };
}

TEST(SystemLibraryTest, AMissingLibraryFailsEveryCallWithItsFailureValueAndIsBoundLater) {
  const wchar_t* libraries[] = {L"msi.dll", L"wintrust.dll", L"crypt32.dll", L"wtsapi32.dll", L"msimg32.dll",
                                L"wininet.dll"};
  for (const wchar_t* library : libraries)
    ASSERT_EQ(nullptr, GetModuleHandleW(library)) << Narrow(library) << " is already loaded in this process";

  ScratchDir empty(L"no system folder");
  g_emptyFolder = empty.path();
  SetSystemDirectorySourceForTests(&EmptySystemFolder);
  {
    PlatformLogCapture log;
    for (const Call& call : EveryImport()) {
      SetLastError(0);
      EXPECT_TRUE(call.failed()) << call.name << " did not return its failure value";
      EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError()) << call.name;
    }
    // The signer check refuses even the maker's good package without its
    // trust library.
    wchar_t error[kSignerErrorTextSize] = {};
    EXPECT_FALSE(VerifyFileSigner(TestPackagePath(L"good.msi").c_str(), error));
    EXPECT_EQ(L"file is NOT signed (-2147024770)", std::wstring(error));
    const std::vector<std::wstring> lines = log.Texts();
    const std::wstring expected = L"*E|LoadSystemLibrary: Failed to load " + empty.file(L"msi.dll") + L", error = 126";
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), expected));
  }
  SetSystemDirectorySourceForTests(nullptr);
  for (const wchar_t* library : libraries) EXPECT_EQ(nullptr, GetModuleHandleW(library)) << Narrow(library);

  // With the system folder back, the same functions bind from it.
  const std::wstring system = Lower(GetSystemFolder());
  ASSERT_FALSE(system.empty());
  EXPECT_EQ(static_cast<UINT>(ERROR_INVALID_HANDLE), MsiCloseHandle(12345));
  EXPECT_FALSE(InternetCloseHandle(nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_FALSE(GradientFill(nullptr, nullptr, 0, nullptr, 0, GRADIENT_FILL_RECT_H));
  WTSFreeMemory(nullptr);
  wchar_t error[kSignerErrorTextSize] = {};
  EXPECT_TRUE(VerifyFileSigner(TestPackagePath(L"good.msi").c_str(), error)) << Narrow(error);
  for (const wchar_t* library : libraries)
    EXPECT_EQ(system + L"\\" + library, LoadedFrom(library)) << Narrow(library);
  // A second call goes to the bound function.
  EXPECT_EQ(static_cast<UINT>(ERROR_INVALID_HANDLE), MsiCloseHandle(12345));
}

TEST(SystemLibraryTest, RichEditComesFromTheSystemFolderOnly) {
  HMODULE module = LoadSystemLibrary(L"riched20.dll");
  ASSERT_NE(nullptr, module);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  EXPECT_EQ(Lower(GetSystemFolder()) + L"\\riched20.dll", Lower(path));
  ScratchDir empty(L"no system folder");
  g_emptyFolder = empty.path();
  SetSystemDirectorySourceForTests(&EmptySystemFolder);
  EXPECT_EQ(nullptr, LoadSystemLibrary(L"riched20.dll"));
  SetSystemDirectorySourceForTests(nullptr);
}

// A library of that name beside the program and in the current folder: the
// program loads neither once it has restricted the search, and loads them
// without that (so the placement is one the loader looks at).
TEST(LibrarySearchTest, TheFirstStepKeepsLibrariesBesideTheProgramAndInTheCurrentFolderOut) {
  struct Case {
    const char* name;
    bool besideProgram;  // else in the current folder
    const wchar_t* mode;
    DWORD loaded;
  } cases[] = {
      {"beside the program, restricted", true, L"restricted", 0},
      {"in the current folder, restricted", false, L"restricted", 0},
      {"beside the program, not restricted", true, L"plain", 1},
      {"in the current folder, not restricted", false, L"plain", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir program(L"search program"), current(L"search current");
    const std::wstring exe = program.file(L"LibrarySearchChild.exe");
    ASSERT_TRUE(CopyFileW(BuiltExe(L"platform_library_search_child").c_str(), exe.c_str(), FALSE));
    const ScratchDir& folder = c.besideProgram ? program : current;
    ASSERT_TRUE(PlantMarkers(folder.path(), {L"larkprobe"}));
    const ProcessResult run = RunProcess(L"\"" + exe + L"\" " + c.mode, current.path(), 30000);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(c.loaded, run.exitCode);
    EXPECT_EQ(c.loaded == 1, !(MarkerLoads(program.path()) + MarkerLoads(current.path())).empty());
  }
}

}  // namespace
