// The entry points of the system libraries outside Windows' known set,
// bound at their first call from the system folder (see SystemLibrary.h).
//
// The call sites stay ordinary calls of the declared functions. A call goes
// either through the import slot "__imp_<name>" (functions the headers
// declare as imported) or to "<name>" itself; this file defines both, as an
// import library would, so nothing links against the libraries' import
// libraries. Each slot first holds a thunk of the function's own type: it
// binds the function, stores its address into the slot, so that later calls
// go straight to it, and makes this call; when binding fails it returns the
// function's failure value instead. In the 32-bit build the symbols carry
// the size of the arguments ("_name@bytes"), which a static assertion checks
// against the declaration.
//
// Add a function by one SYSTEM_IMPORT line under its library: the library's
// file name, the function, its arguments' size in bytes in the 32-bit build,
// and the value that tells its callers it failed.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <wincrypt.h>
#include <wininet.h>
#include <wintrust.h>
#include <wtsapi32.h>

#include "logging/Log.h"
#include "platform/SystemLibrary.h"

namespace {

FARPROC BindSystemFunction(const wchar_t* library, const char* function) {
  HMODULE module = LoadSystemLibrary(library);
  if (!module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  const FARPROC address = GetProcAddress(module, function);
  if (!address) {
    LogW(2, L"%s: %S not found in %s", L"BindSystemFunction", function, library);
    SetLastError(ERROR_PROC_NOT_FOUND);
  }
  return address;
}

template <typename Fn>
struct Thunk;

template <typename R, typename... A>
struct Thunk<R(WINAPI*)(A...)> {
  typedef R(WINAPI* Function)(A...);

  template <typename Entry>
  static R WINAPI First(A... arguments) {
    const FARPROC address = BindSystemFunction(Entry::kLibrary, Entry::kName);
    if (!address) return static_cast<R>(Entry::Failure());
    const Function function = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
    __atomic_store_n(&Entry::Slot(), function, __ATOMIC_RELEASE);
    return function(arguments...);
  }
};

// What the 32-bit callee pops: each argument takes whole 4-byte words.
template <typename R, typename... A>
constexpr unsigned ArgumentBytes(R(WINAPI*)(A...)) {
  return (0u + ... + static_cast<unsigned>((sizeof(A) + 3) & ~size_t(3)));
}

}  // namespace

#ifdef _WIN64
#define SYSTEM_IMPORT_SLOT(name, bytes) "__imp_" #name
#define SYSTEM_IMPORT_SYMBOL(name, bytes) #name
#define SYSTEM_IMPORT_JUMP(name, bytes) "jmp *__imp_" #name "(%rip)"
#define SYSTEM_IMPORT_CHECK_BYTES(name, bytes)
#else
#define SYSTEM_IMPORT_SLOT(name, bytes) "__imp__" #name "@" #bytes
#define SYSTEM_IMPORT_SYMBOL(name, bytes) "_" #name "@" #bytes
#define SYSTEM_IMPORT_JUMP(name, bytes) "jmp *__imp__" #name "@" #bytes
#define SYSTEM_IMPORT_CHECK_BYTES(name, bytes) \
  static_assert(ArgumentBytes(&name) == bytes, #name ": the argument size does not match its declaration");
#endif

#define SYSTEM_IMPORT(library, name, bytes, failure)                                                        \
  SYSTEM_IMPORT_CHECK_BYTES(name, bytes)                                                                     \
  extern "C" decltype(&name) lark_slot_##name asm(SYSTEM_IMPORT_SLOT(name, bytes));                          \
  namespace {                                                                                                \
  struct Entry_##name {                                                                                      \
    static constexpr const wchar_t* kLibrary = library;                                                      \
    static constexpr const char* kName = #name;                                                              \
    static auto Failure() { return failure; }                                                                \
    static decltype(&name)& Slot() { return lark_slot_##name; }                                              \
  };                                                                                                         \
  }                                                                                                          \
  extern "C" {                                                                                               \
  decltype(&name) lark_slot_##name = &Thunk<decltype(&name)>::First<Entry_##name>;                           \
  }                                                                                                          \
  asm(".section .text$lark_" #name ",\"x\"\n\t.globl " SYSTEM_IMPORT_SYMBOL(name, bytes) "\n\t.p2align 4\n" \
      SYSTEM_IMPORT_SYMBOL(name, bytes) ":\n\t" SYSTEM_IMPORT_JUMP(name, bytes) "\n\t.text\n");

namespace {
const UINT kMsiMissing = ERROR_MOD_NOT_FOUND;
const HRESULT kTrustMissing = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}  // namespace

// Windows Installer. Its functions return their error code.
SYSTEM_IMPORT(L"msi.dll", MsiCloseHandle, 4, kMsiMissing)
SYSTEM_IMPORT(L"msi.dll", MsiDatabaseOpenViewW, 12, kMsiMissing)
SYSTEM_IMPORT(L"msi.dll", MsiEnableLogW, 12, kMsiMissing)
SYSTEM_IMPORT(L"msi.dll", MsiInstallProductW, 8, kMsiMissing)
SYSTEM_IMPORT(L"msi.dll", MsiOpenDatabaseW, 12, kMsiMissing)
SYSTEM_IMPORT(L"msi.dll", MsiRecordGetStringW, 16, kMsiMissing)
SYSTEM_IMPORT(L"msi.dll", MsiSetExternalUIW, 12, static_cast<INSTALLUI_HANDLERW>(nullptr))
SYSTEM_IMPORT(L"msi.dll", MsiSetInternalUI, 8, INSTALLUILEVEL_NOCHANGE)
SYSTEM_IMPORT(L"msi.dll", MsiVerifyPackageW, 4, kMsiMissing)
SYSTEM_IMPORT(L"msi.dll", MsiViewExecute, 8, kMsiMissing)
SYSTEM_IMPORT(L"msi.dll", MsiViewFetch, 8, kMsiMissing)

// Signature checks: a missing trust provider must never read as 0, which
// means trusted.
SYSTEM_IMPORT(L"wintrust.dll", WinVerifyTrust, 12, static_cast<LONG>(kTrustMissing))
SYSTEM_IMPORT(L"wintrust.dll", WinVerifyTrustEx, 12, kTrustMissing)
SYSTEM_IMPORT(L"crypt32.dll", CertGetNameStringW, 24, static_cast<DWORD>(0))
SYSTEM_IMPORT(L"crypt32.dll", CryptHashPublicKeyInfo, 28, FALSE)

// Terminal sessions of the logged-on users.
SYSTEM_IMPORT(L"wtsapi32.dll", WTSEnumerateSessionsW, 20, FALSE)
SYSTEM_IMPORT(L"wtsapi32.dll", WTSFreeMemory, 4, (void)0)
SYSTEM_IMPORT(L"wtsapi32.dll", WTSQuerySessionInformationW, 20, FALSE)

// The wizard's gradients.
SYSTEM_IMPORT(L"msimg32.dll", GradientFill, 24, FALSE)

// HTTP downloads.
SYSTEM_IMPORT(L"wininet.dll", HttpOpenRequestW, 32, static_cast<HINTERNET>(nullptr))
SYSTEM_IMPORT(L"wininet.dll", HttpQueryInfoW, 20, FALSE)
SYSTEM_IMPORT(L"wininet.dll", HttpSendRequestW, 20, FALSE)
SYSTEM_IMPORT(L"wininet.dll", InternetCloseHandle, 4, FALSE)
SYSTEM_IMPORT(L"wininet.dll", InternetConnectW, 32, static_cast<HINTERNET>(nullptr))
SYSTEM_IMPORT(L"wininet.dll", InternetCrackUrlW, 16, FALSE)
SYSTEM_IMPORT(L"wininet.dll", InternetOpenW, 20, static_cast<HINTERNET>(nullptr))
SYSTEM_IMPORT(L"wininet.dll", InternetReadFile, 16, FALSE)
SYSTEM_IMPORT(L"wininet.dll", InternetSetOptionW, 16, FALSE)
SYSTEM_IMPORT(L"wininet.dll", InternetSetStatusCallbackW, 8, INTERNET_INVALID_STATUS_CALLBACK)
