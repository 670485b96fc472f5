// Single-instance mutexes in the global namespace.
#include "platform/NamedObjects.h"

#include "platform/SecurityDescriptor.h"

HANDLE CreateOwnedMutex(const std::wstring& name, bool strict) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (!mutex) return nullptr;
  // Wait with a zero timeout: a mutex that another process owns, or one left
  // abandoned, counts as taken.
  if (WaitForSingleObject(mutex, 0) != WAIT_OBJECT_0) {
    CloseHandle(mutex);
    return nullptr;
  }
  SecurityDescriptorHolder holder;
  bool built = strict ? holder.SetStrictMutexAccess() : holder.SetMutexAccess();
  if (built) SetKernelObjectSecurity(mutex, DACL_SECURITY_INFORMATION, holder.Descriptor());
  holder.Free();
  return mutex;
}

int CheckRunningInstance() {
  if (CreateOwnedMutex(kFirstProbeMutexName, false)) return 1;
  if (CreateOwnedMutex(kSecondProbeMutexName, true)) return 2;
  return 3;
}
