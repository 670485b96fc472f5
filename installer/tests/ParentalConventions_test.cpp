// The calling conventions the parental-control check declares for the
// maker's libraries, against the stand-ins, which are built with each
// entry's real convention. Every entry is called through the check's own
// declaration and the stack pointer is read just before and just after
// the call: a caller-pops entry declared callee-pops (or the reverse) leaves
// it off by the arguments' size in the 32-bit build. This file is compiled
// with a frame pointer and with outgoing arguments kept in a reserved area,
// so that the stack pointer of the calling function stays the same around
// a correct call and a wrong one cannot crash the test before it reports.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "installer/ParentalApi.h"
#include "platform/tests/DelayLoadTestSupport.h"
#include "testsupport/TestEnv.h"

using namespace parental_api;

namespace {

#if defined(__i386__)
#define READ_STACK_POINTER(v) asm volatile("movl %%esp, %0" : "=r"(v) : : "memory")
#else
#define READ_STACK_POINTER(v) asm volatile("movq %%rsp, %0" : "=r"(v) : : "memory")
#endif

// The stack pointer after the call minus the one before it; 0 when the
// declaration and the entry agree on who pops the arguments.
template <typename Fn, typename... Args>
__attribute__((noinline)) intptr_t StackDrift(FARPROC entry, Args... args) {
  Fn fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(entry));
  uintptr_t before = 0, after = 0;
  READ_STACK_POINTER(before);
  fn(args...);
  READ_STACK_POINTER(after);
  return static_cast<intptr_t>(after - before);
}

struct Entry {
  const wchar_t* library;
  const char* name;
  intptr_t (*drift)(FARPROC);
};

void* g_handle = nullptr;
int g_value = 0;

const Entry kEntries[] = {
    {L"qoma32.dll", "QOMADelayLoadInitialize", [](FARPROC f) { return StackDrift<QomaDelayLoadInitializeFn>(f); }},
    {L"qoma32.dll", "QOMAInitialize",
     [](FARPROC f) { return StackDrift<QomaInitializeFn>(f, DWORD(256), static_cast<void*>(nullptr)); }},
    {L"qoma32.dll", "QOMARegisterModule",
     [](FARPROC f) { return StackDrift<QomaRegisterModuleFn>(f, &g_handle, static_cast<void*>(nullptr)); }},
    {L"qoma32.dll", "QOMAUnregisterModule",
     [](FARPROC f) { return StackDrift<QomaUnregisterModuleFn>(f, g_handle); }},
    {L"qoma32.dll", "QOMAUninitialize", [](FARPROC f) { return StackDrift<QomaUninitializeFn>(f); }},
    {L"QELMAPI.dll", "PlxInitLibrary", [](FARPROC f) { return StackDrift<PlxInitLibraryFn>(f); }},
    {L"QELMAPI.dll", "PlxCreateUserSessionPolicyOID",
     [](FARPROC f) { return StackDrift<PlxCreateUserSessionPolicyOidFn>(f, "1.2.3", &g_handle); }},
    {L"QELMAPI.dll", "PlxClose", [](FARPROC f) { return StackDrift<PlxCloseFn>(f, g_handle); }},
    {L"wyteapi.dll", "WYTE_DelayLoadInitialize", [](FARPROC f) { return StackDrift<WyteDelayLoadInitializeFn>(f); }},
    {L"wyteapi.dll", "WYTE_CreateHandleOnProfile",
     [](FARPROC f) { return StackDrift<WyteCreateHandleOnProfileFn>(f, g_handle, "ENG", 0, &g_handle); }},
    {L"wyteapi.dll", "WYTE_IsPasswordInitialized",
     [](FARPROC f) { return StackDrift<WyteIsPasswordInitializedFn>(f, g_handle, &g_value); }},
    {L"wyteapi.dll", "WYTE_AuthenticateUserOperation",
     [](FARPROC f) { return StackDrift<WyteAuthenticateUserOperationFn>(f, g_handle, 5, &g_value); }},
    {L"wyteapi.dll", "WYTE_SwitchToProfile",
     [](FARPROC f) { return StackDrift<WyteSwitchToProfileFn>(f, g_handle, 0); }},
    {L"wyteapi.dll", "WYTE_UnAuthenticateUserOperation",
     [](FARPROC f) { return StackDrift<WyteUnAuthenticateUserOperationFn>(f, g_handle); }},
    {L"wyteapi.dll", "WYTE_CloseHandle", [](FARPROC f) { return StackDrift<WyteCloseHandleFn>(f, g_handle); }},
};

TEST(ParentalConventions, EveryEntryIsDeclaredWithTheConventionOfItsLibrary) {
  for (const Entry& e : kEntries) {
    HMODULE library = LoadLibraryW(dltest::StandinPath(L"full", e.library).c_str());
    ASSERT_NE(library, nullptr) << larktest::Narrow(e.library) << " " << GetLastError();
    FARPROC entry = GetProcAddress(library, e.name);
    ASSERT_NE(entry, nullptr) << e.name;
    EXPECT_EQ(e.drift(entry), 0) << e.name << ": the stack pointer moved across the call";
    FreeLibrary(library);
  }
}

}  // namespace
