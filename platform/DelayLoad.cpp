// The delay-load resolver: binds a library's function at its first call,
// searching beside the executable and then the registry, and reports a
// failed binding through DelayLoadError.
#include "platform/DelayLoad.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kMaxSearchKey = 1023;

// Copies at most size - 1 characters and always terminates.
void CopyCut(char* to, size_t size, const char* from) {
  size_t n = from ? strnlen(from, size - 1) : 0;
  if (n) memcpy(to, from, n);
  to[n] = '\0';
}

// The delay-load lock. Recursive, so that a binding inside
// CallWithDelayLoad's init takes it again without harm. At exit it is
// entered and left once before it goes, so that a binding in progress on
// another thread finishes first.
class DelayLoadLock {
 public:
  DelayLoadLock() { InitializeCriticalSection(&m_section); }
  ~DelayLoadLock() {
    EnterCriticalSection(&m_section);
    LeaveCriticalSection(&m_section);
    DeleteCriticalSection(&m_section);
  }
  void Enter() { EnterCriticalSection(&m_section); }
  void Leave() { LeaveCriticalSection(&m_section); }

 private:
  CRITICAL_SECTION m_section;
};

DelayLoadLock& Lock() {
  static DelayLoadLock lock;
  return lock;
}

class LockHolder {
 public:
  LockHolder() { Lock().Enter(); }
  ~LockHolder() { Lock().Leave(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
};

// Search root and key, changed only by CallWithDelayLoad under the lock.
HKEY g_searchRoot = HKEY_LOCAL_MACHINE;
char g_searchKey[kMaxSearchKey + 1] = "Software\\K-Harbor\\BCX\\Delay Loading\\100";

std::vector<char>& PathBuffer() {
  static std::vector<char> buffer;
  return buffer;
}

const DelayLoadSystemCalls& SystemCalls() {
  static const DelayLoadSystemCalls calls;
  return calls;
}

int ErrorCodeOf(DWORD exceptionCode) {
  switch (exceptionCode) {
    case kDelayLoadModuleNotFound: return 1;
    case kDelayLoadProcNotFound: return 2;
    default: return 3;
  }
}

}  // namespace

DelayLoadError::DelayLoadError(DWORD code, const char* library, const char* function, WORD ordinal,
                               DWORD lastError)
    : m_code(code), m_ordinal(ordinal), m_lastError(lastError) {
  CopyCut(m_library, sizeof(m_library), library);
  CopyCut(m_function, sizeof(m_function), function);
  snprintf(m_what, sizeof(m_what), "delay-load error 0x%08lX", static_cast<unsigned long>(code));
}

DelayLoadSystemCalls::~DelayLoadSystemCalls() = default;

LONG DelayLoadSystemCalls::RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                                         HKEY* result) const {
  return ::RegOpenKeyExA(root, subKey, options, access, result);
}

LONG DelayLoadSystemCalls::RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                                            DWORD* size) const {
  return ::RegQueryValueExA(key, name, reserved, type, data, size);
}

LONG DelayLoadSystemCalls::RegCloseKey(HKEY key) const { return ::RegCloseKey(key); }

DWORD DelayLoadSystemCalls::GetModuleFileNameA(HMODULE module, char* path, DWORD size) const {
  return ::GetModuleFileNameA(module, path, size);
}

HMODULE DelayLoadSystemCalls::LoadLibraryA(const char* path) const { return ::LoadLibraryA(path); }

FARPROC DelayLoadImport::Bind() {
  FARPROC address = m_address.load();
  return address ? address : DelayLoadHelper(*m_library, *this);
}

std::string GetDelayLoadKey(int id) {
  if (id == 0) return "Software\\Brine Works\\K-Harbor\\Delay Loading";
  return "Software\\K-Harbor\\BCX\\Delay Loading\\" + std::to_string(id);
}

int CallWithDelayLoad(int id, void (*init)(), DelayLoadErrorRecord* error) {
  LockHolder lock;
  g_searchRoot = HKEY_LOCAL_MACHINE;
  CopyCut(g_searchKey, sizeof(g_searchKey), GetDelayLoadKey(id).c_str());
  if (error) {
    error->libraryName[0] = '\0';
    error->functionName[0] = '\0';
  }
  if (!init) return 0;
  try {
    init();
  } catch (const DelayLoadError& failure) {
    int code = ErrorCodeOf(failure.Code());
    if (error) {
      error->code = code;
      CopyCut(error->libraryName, sizeof(error->libraryName), failure.LibraryName());
      if (code == 2) CopyCut(error->functionName, sizeof(error->functionName), failure.FunctionName());
    }
    return code;
  }
  return 0;
}

FARPROC DelayLoadHelper(DelayLoadLibrary& library, DelayLoadImport& slot) {
  const char* libraryName = library.Name();
  // Tables are built by hand here, so "malformed" means one that names no
  // library or no function, or a slot that belongs to another library.
  if (!libraryName || !*libraryName || slot.m_library != &library || (!slot.m_name && slot.m_ordinal == 0) ||
      (slot.m_name && !*slot.m_name)) {
    throw DelayLoadError(kDelayLoadInvalidDescriptor, libraryName, slot.m_name, slot.m_ordinal,
                         ERROR_INVALID_PARAMETER);
  }

  LockHolder lock;
  FARPROC address = slot.m_address.load();
  if (address) return address;

  HMODULE module = library.m_module.load();
  if (!module) {
    HMODULE loaded = LoadDelayLoadedLibrary(g_searchRoot, g_searchKey, libraryName);
    if (!loaded) {
      DWORD lastError = GetLastError();
      throw DelayLoadError(kDelayLoadModuleNotFound, libraryName, slot.m_name, slot.m_ordinal, lastError);
    }
    HMODULE bound = nullptr;
    if (library.m_module.compare_exchange_strong(bound, loaded)) {
      module = loaded;
    } else {
      // Bound meanwhile: keep that handle and give back the extra reference.
      FreeLibrary(loaded);
      module = bound;
    }
  }

  address = slot.m_name ? GetProcAddress(module, slot.m_name) : GetProcAddress(module, MAKEINTRESOURCEA(slot.m_ordinal));
  if (!address) {
    DWORD lastError = GetLastError();
    throw DelayLoadError(kDelayLoadProcNotFound, libraryName, slot.m_name, slot.m_ordinal, lastError);
  }
  slot.m_address.store(address);
  return address;
}

HMODULE LoadDelayLoadedLibrary(HKEY root, const char* key, const char* library) {
  const DelayLoadSystemCalls& calls = SystemCalls();
  char path[MAX_PATH];
  DWORD length = calls.GetModuleFileNameA(nullptr, path, MAX_PATH);
  // A path that filled the buffer may have been cut: not trusted.
  if (length > 0 && length < MAX_PATH) {
    path[length] = '\0';
    char* slash = strrchr(path, '\\');
    size_t folder = slash ? static_cast<size_t>(slash + 1 - path) : 0;
    size_t name = strlen(library);
    // A name that does not fit is not tried cut: that would be another file.
    if (slash && folder + name < MAX_PATH) {
      memcpy(slash + 1, library, name + 1);
      HMODULE module = calls.LoadLibraryA(path);
      if (module) return module;
    }
  }

  char stored[520];
  CopyCut(stored, sizeof(stored), ReadDelayLoadPath(root, key, library));
  if (!*stored) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return calls.LoadLibraryA(stored);
}

const char* ReadDelayLoadPath(HKEY root, const char* key, const char* library) {
  const DelayLoadSystemCalls& calls = SystemCalls();
  std::vector<char>& buffer = PathBuffer();
  if (buffer.size() < MAX_PATH) buffer.resize(MAX_PATH);
  buffer[0] = '\0';

  HKEY opened = nullptr;
  if (calls.RegOpenKeyExA(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return buffer.data();
  DWORD size = 0;
  if (calls.RegQueryValueExA(opened, library, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    // Five spare zero bytes terminate a value stored without its own
    // terminator, whatever its type.
    if (buffer.size() < size + 5) buffer.resize(size + 5);
    std::fill(buffer.begin(), buffer.end(), '\0');
    DWORD read = size;
    if (calls.RegQueryValueExA(opened, library, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &read) !=
        ERROR_SUCCESS) {
      buffer[0] = '\0';
    }
  }
  calls.RegCloseKey(opened);
  return buffer.data();
}
