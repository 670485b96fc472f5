// Late binding of the maker's libraries that live in the installed agent:
// each is looked for beside the installer's executable first, then at the
// path stored in the registry under the key of its identifier. Nothing is
// loaded at start-up, so the installer runs on machines without them.
//
// A caller declares each library and its functions once, at namespace
// scope, and calls the functions like ordinary ones:
//
//   DelayLoadLibrary g_config("kh_rk_operator_config32.dll");
//   DelayLoadFunction<void (WINAPI*)()> g_configLoad(g_config, "kh_rk_operator_config_DelayLoadStub");
//   DelayLoadFunction<int (WINAPI*)(void*)> g_install(g_config, "kh_rk_operator_config_install");
//   DelayLoadLibrary g_latebound("kh_rk_latebound.dll");
//   DelayLoadFunction<void (WINAPI*)()> g_lateboundLoad(g_latebound, 1);   // by ordinal
//
//   void LoadConfig() { g_configLoad(); g_install.Bind(); }
//   ...
//   int code = CallWithDelayLoad(100, LoadConfig, &record);   // 0, 1, 2 or 3
//   if (code == 0) g_install(&installRecord);
//
// The first call of a function (or its Bind) binds it: the library is
// loaded under the current search root and key unless it already is, and
// the function's address is kept, so later calls go straight to it. A
// failed binding throws DelayLoadError. Inside CallWithDelayLoad that
// becomes the error code and names in the DelayLoadErrorRecord; a first
// call made outside CallWithDelayLoad throws it to the caller, who must
// catch it (uncaught it ends the program). Binding every function a caller
// will need inside its init function keeps all failures in the error code.
//
// The calling convention is part of the pointer type (WINAPI for the
// callee-pops convention, __cdecl for the caller-pops one) and must match
// the library's export exactly, or the 32-bit stack is corrupted.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <string>
#include <utility>

struct DelayLoadErrorRecord {
  int code;                 // 1 library not found, 2 function not found, 3 invalid descriptor
  char libraryName[32];
  char functionName[1024];  // empty for a function imported by ordinal
};

// Codes of a failed binding, as the platform's delay-load helper raises
// them; CallWithDelayLoad turns them into 3, 1 and 2.
constexpr DWORD kDelayLoadInvalidDescriptor = 0xC06D0057;
constexpr DWORD kDelayLoadModuleNotFound = 0xC06D007E;
constexpr DWORD kDelayLoadProcNotFound = 0xC06D007F;

class DelayLoadImport;

// One delay-loaded library: its file name and, once bound, its module
// handle. Declare it with static storage duration; it is never unloaded.
class DelayLoadLibrary {
 public:
  explicit constexpr DelayLoadLibrary(const char* fileName) : m_name(fileName), m_module(nullptr) {}
  DelayLoadLibrary(const DelayLoadLibrary&) = delete;
  DelayLoadLibrary& operator=(const DelayLoadLibrary&) = delete;

  const char* Name() const { return m_name; }
  // Null until one of the library's functions has been bound.
  HMODULE Module() const { return m_module.load(); }

 private:
  friend FARPROC DelayLoadHelper(DelayLoadLibrary& library, DelayLoadImport& slot);
  const char* m_name;
  std::atomic<HMODULE> m_module;
};

// The address slot of one imported function, by name or by ordinal.
class DelayLoadImport {
 public:
  constexpr DelayLoadImport(DelayLoadLibrary& library, const char* name)
      : m_library(&library), m_name(name), m_ordinal(0), m_address(nullptr) {}
  constexpr DelayLoadImport(DelayLoadLibrary& library, WORD ordinal)
      : m_library(&library), m_name(nullptr), m_ordinal(ordinal), m_address(nullptr) {}
  DelayLoadImport(const DelayLoadImport&) = delete;
  DelayLoadImport& operator=(const DelayLoadImport&) = delete;

  // The function's address, binding it first when needed (throws
  // DelayLoadError when that fails).
  FARPROC Bind();
  bool IsBound() const { return m_address.load() != nullptr; }

  DelayLoadLibrary& Library() const { return *m_library; }
  // Null for an import by ordinal.
  const char* Name() const { return m_name; }
  WORD Ordinal() const { return m_ordinal; }

 private:
  friend FARPROC DelayLoadHelper(DelayLoadLibrary& library, DelayLoadImport& slot);
  DelayLoadLibrary* m_library;
  const char* m_name;
  WORD m_ordinal;
  std::atomic<FARPROC> m_address;
};

// A typed import: Fn is the function pointer type, calling convention
// included, e.g. int (WINAPI*)(int, const char*). Calling the object calls
// the function with the arguments given.
template <typename Fn>
class DelayLoadFunction : public DelayLoadImport {
 public:
  using DelayLoadImport::DelayLoadImport;

  Fn Get() { return reinterpret_cast<Fn>(reinterpret_cast<void*>(Bind())); }

  template <typename... Args>
  decltype(auto) operator()(Args&&... args) {
    return Get()(std::forward<Args>(args)...);
  }
};

// What a failed binding throws: one of the three codes above, the library,
// the function (name or ordinal) and the system error of the failed call.
class DelayLoadError : public std::exception {
 public:
  DelayLoadError(DWORD code, const char* library, const char* function, WORD ordinal, DWORD lastError);
  const char* what() const noexcept override { return m_what; }

  DWORD Code() const { return m_code; }
  const char* LibraryName() const { return m_library; }
  // Empty for an import by ordinal.
  const char* FunctionName() const { return m_function; }
  WORD Ordinal() const { return m_ordinal; }
  DWORD LastError() const { return m_lastError; }

 private:
  DWORD m_code;
  WORD m_ordinal;
  DWORD m_lastError;
  char m_library[MAX_PATH];
  char m_function[1024];
  char m_what[64];
};

// The platform functions the resolver calls, one virtual operation each;
// every one forwards to the system function of the same name.
class DelayLoadSystemCalls {
 public:
  virtual ~DelayLoadSystemCalls();
  virtual LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result) const;
  virtual LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                                DWORD* size) const;
  virtual LONG RegCloseKey(HKEY key) const;
  virtual DWORD GetModuleFileNameA(HMODULE module, char* path, DWORD size) const;
  virtual HMODULE LoadLibraryA(const char* path) const;
};

// Runs init with the search key of `id` under HKEY_LOCAL_MACHINE; 0 when
// init returned normally, else the error code of the failed binding (also
// stored with the names in *error when given). Callers are serialised. The
// search root and key stay set afterwards. Exceptions other than
// DelayLoadError pass through unchanged.
int CallWithDelayLoad(int id, void (*init)(), DelayLoadErrorRecord* error);
std::string GetDelayLoadKey(int id);
// Binds slot's function of library under the current search root and key
// and returns its address; throws DelayLoadError.
FARPROC DelayLoadHelper(DelayLoadLibrary& library, DelayLoadImport& slot);
// Beside the executable first, then the path read from root\key; null when
// neither loads.
HMODULE LoadDelayLoadedLibrary(HKEY root, const char* key, const char* library);
// The value named like the library under root\key, or an empty text; the
// text lives in a process-wide buffer until the next call.
const char* ReadDelayLoadPath(HKEY root, const char* key, const char* library);
